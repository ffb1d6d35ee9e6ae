#include "teststorage.h"

#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/notificationcollector.h"

#include <QSignalSpy>
#include <QTest>

using namespace Talvori;

class NotificationCollectorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void recordsFillDefaults();
    void collectionRecords();
    void withoutDataStoreOnlyQueues();

private:
    TestStorage m_storage;
    Resource m_resource;
    Resource m_otherResource;
    Collection m_collection;
    Collection m_otherCollection;
    PimItem m_item;
};

void NotificationCollectorTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
    qRegisterMetaType<NotificationMessage::List>();
    m_resource = Resource(QStringLiteral("res-a"), false);
    m_otherResource = Resource(QStringLiteral("res-b"), false);
    QVERIFY(m_resource.insert());
    QVERIFY(m_otherResource.insert());
    m_collection.setName(QStringLiteral("a"));
    m_collection.setResourceId(m_resource.id());
    m_collection.setRemoteRevision(QStringLiteral("col-rev"));
    QVERIFY(m_collection.insert());
    m_otherCollection.setName(QStringLiteral("b"));
    m_otherCollection.setResourceId(m_otherResource.id());
    m_otherCollection.setParentId(m_collection.id());
    QVERIFY(m_otherCollection.insert());
    m_item.setCollectionId(m_collection.id());
    m_item.setMimeTypeId(3);
    m_item.setRemoteId(QStringLiteral("rid"));
    m_item.setRemoteRevision(QStringLiteral("item-rev"));
    QVERIFY(m_item.insert());
}

void NotificationCollectorTest::recordsFillDefaults()
{
    NotificationCollector collector;
    collector.setSessionId("sess");

    collector.notifyItemAdded(m_item);
    collector.notifyItemMoved(m_item, m_collection, m_otherCollection);
    collector.notifyItemRemoved(m_item, m_otherCollection, QStringLiteral("x/y"), "given");
    collector.notifyItemLinked(m_item, m_otherCollection);
    const NotificationMessage::List msgs = collector.pending();
    QCOMPARE(msgs.size(), 4);

    // No collection, MIME type or resource given: the item's own.
    const NotificationMessage &added = msgs.at(0);
    QCOMPARE(added.sessionId(), QByteArray("sess"));
    QCOMPARE(added.uid(), m_item.id());
    QCOMPARE(added.parentCollection(), m_collection.id());
    QCOMPARE(added.parentDestCollection(), qint64(-1));
    QCOMPARE(added.mimeType(), QStringLiteral("text/calendar"));
    QCOMPARE(added.resource(), QByteArray("res-a"));
    QVERIFY(added.itemParts().isEmpty());

    const NotificationMessage &moved = msgs.at(1);
    QCOMPARE(moved.operation(), int(NotificationMessage::Move));
    QCOMPARE(moved.parentCollection(), m_collection.id());
    QCOMPARE(moved.parentDestCollection(), m_otherCollection.id());
    QCOMPARE(moved.itemParts(), QSet<QByteArray>{"res-b"}); // the destination's resource

    const NotificationMessage &removed = msgs.at(2);
    QCOMPARE(removed.parentCollection(), m_otherCollection.id());
    QCOMPARE(removed.mimeType(), QStringLiteral("x/y"));
    QCOMPARE(removed.resource(), QByteArray("given"));
    QCOMPARE(removed.itemParts(), QSet<QByteArray>{"item-rev"});

    QCOMPARE(msgs.at(3).operation(), int(NotificationMessage::Link));
    QCOMPARE(msgs.at(3).resource(), QByteArray("res-b"));
}

void NotificationCollectorTest::collectionRecords()
{
    NotificationCollector collector;
    collector.notifyCollectionMoved(m_otherCollection, m_otherCollection.parent());
    collector.notifyCollectionRemoved(m_collection);
    collector.notifyCollectionSubscribed(m_otherCollection);
    collector.notifyCollectionChanged(m_collection, {"A", "B", "A"});
    const NotificationMessage::List msgs = collector.pending();
    QCOMPARE(msgs.size(), 4);

    QCOMPARE(msgs.at(0).type(), int(NotificationMessage::Collection));
    QCOMPARE(msgs.at(0).parentCollection(), m_collection.id());
    QCOMPARE(msgs.at(0).parentDestCollection(), m_collection.id());
    QCOMPARE(msgs.at(0).itemParts(), QSet<QByteArray>{"PARENT"});
    QCOMPARE(msgs.at(0).resource(), QByteArray("res-b"));
    QVERIFY(msgs.at(0).mimeType().isEmpty());
    QCOMPARE(msgs.at(1).itemParts(), QSet<QByteArray>{"col-rev"});
    QCOMPARE(msgs.at(1).parentCollection(), qint64(0));
    QCOMPARE(msgs.at(2).operation(), int(NotificationMessage::Subscribe));
    QCOMPARE(msgs.at(3).itemParts(), (QSet<QByteArray>{"A", "B"}));
}

void NotificationCollectorTest::withoutDataStoreOnlyQueues()
{
    NotificationCollector collector;
    QSignalSpy spy(&collector, &NotificationCollector::notify);
    collector.notifyItemChanged(m_item, {"FLAGS"});
    collector.notifyItemChanged(m_item, {"PLD:RFC822"});
    QCOMPARE(spy.count(), 0);
    collector.emitPending();
    QCOMPARE(spy.count(), 1);
    const auto msgs = spy.at(0).at(0).value<NotificationMessage::List>();
    QCOMPARE(msgs.size(), 1);
    QCOMPARE(msgs.first().itemParts(), (QSet<QByteArray>{"FLAGS", "PLD:RFC822"}));
    QVERIFY(collector.pending().isEmpty());
}

QTEST_GUILESS_MAIN(NotificationCollectorTest)

#include "tst_notificationcollector.moc"
