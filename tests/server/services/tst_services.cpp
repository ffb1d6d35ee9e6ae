// The notification manager and the resource registry on a private session bus, against a real
// database (TALVORI_TEST_BACKEND), called from outside with dbus-send as any other client would.

#include "notifylistener.h"
#include "services/notificationmanager.h"
#include "services/resourcemanager.h"
#include "storage/datastore.h"
#include "storage/entities.h"
#include "storage/notificationcollector.h"
#include "storage/transaction.h"
#include "testbus.h"
#include "teststorage.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace Talvori;

class ServicesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void burstInOneTransactionIsOneSignal();
    void rolledBackTransactionIsSilent();
    void addResourceInstance_data();
    void addResourceInstance();
    void removeResourceInstanceRemovesEverything();

private:
    int callResourceManager(const QStringList &arguments);
    Collection newCollection(const Resource &resource, qint64 parentId, const QString &name);

    TestStorage m_storage;
    TestBus m_bus;
    std::unique_ptr<NotifyListener> m_listener;
};

void ServicesTest::initTestCase()
{
    QVERIFY(m_bus.start(m_storage.environment().path()));
    m_bus.exportTo(m_storage.environment());
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());

    NotificationManager::self();
    ResourceManager::self();
    QVERIFY(QDBusConnection::sessionBus().registerService(QStringLiteral("org.freedesktop.Talvori")));
    m_listener = std::make_unique<NotifyListener>(m_bus.address());
}

Collection ServicesTest::newCollection(const Resource &resource, qint64 parentId, const QString &name)
{
    Collection collection;
    collection.setName(name);
    collection.setResourceId(resource.id());
    collection.setParentId(parentId);
    collection.setCachePolicyInherit(true);
    collection.setCachePolicyCheckInterval(-1);
    collection.setCachePolicyCacheTimeout(-1);
    return collection;
}

void ServicesTest::burstInOneTransactionIsOneSignal()
{
    Resource resource(QStringLiteral("burst"), false);
    QVERIFY(resource.insert());
    m_listener->batches.clear();

    DataStore *db = DataStore::self();
    QList<qint64> ids;
    {
        Transaction transaction(db);
        for (int i = 0; i < 5; ++i) {
            Collection collection = newCollection(resource, 0, QStringLiteral("burst%1").arg(i));
            QVERIFY(db->appendCollection(collection));
            ids.append(collection.id());
        }
        QVERIFY(transaction.commit());
    }
    QSignalSpy arrived(m_listener.get(), &NotifyListener::arrived);
    QVERIFY(arrived.wait(5000));
    QTest::qWait(300); // nothing more may follow
    QCOMPARE(m_listener->batches.size(), 1);
    QCOMPARE(m_listener->signatures.value(0), QStringLiteral("a(ayiixsayxxsas)"));
    const NotificationMessage::List list = m_listener->batches.at(0);
    QCOMPARE(list.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(list.at(i).type(), int(NotificationMessage::Collection));
        QCOMPARE(list.at(i).operation(), int(NotificationMessage::Add));
        QCOMPARE(list.at(i).uid(), ids.at(i));
        QCOMPARE(list.at(i).resource(), QByteArray("burst"));
        QCOMPARE(list.at(i).parentCollection(), 0);
    }
}

void ServicesTest::rolledBackTransactionIsSilent()
{
    Resource resource = Resource::retrieveByName(QStringLiteral("burst"));
    QVERIFY(resource.isValid());
    m_listener->batches.clear();
    DataStore *db = DataStore::self();
    {
        Transaction transaction(db);
        Collection collection = newCollection(resource, 0, QStringLiteral("never"));
        QVERIFY(db->appendCollection(collection));
        // Leaving the scope without commit rolls back.
    }
    QTest::qWait(500);
    QCOMPARE(m_listener->batches.size(), 0);
    QVERIFY(!Collection::retrieveByName(QStringLiteral("never")).isValid());
}

int ServicesTest::callResourceManager(const QStringList &arguments)
{
    // dbus-send blocks until we answer, so our event loop has to run meanwhile.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("dbus-send"),
                  QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply"),
                              QStringLiteral("--dest=org.freedesktop.Talvori"), QStringLiteral("/ResourceManager")}
                      + arguments);
    QSignalSpy finished(&process, &QProcess::finished);
    if (!finished.wait(20000))
        return -1;
    return process.exitCode();
}

void ServicesTest::addResourceInstance_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("capabilities");
    QTest::addColumn<bool>("isVirtual");
    QTest::newRow("virtual") << QStringLiteral("virt") << QStringLiteral("Resource,Virtual") << true;
    QTest::newRow("lower-case virtual is not") << QStringLiteral("lower") << QStringLiteral("virtual") << false;
    QTest::newRow("plain") << QStringLiteral("plain") << QStringLiteral("Resource") << false;
}

void ServicesTest::addResourceInstance()
{
    QFETCH(QString, name);
    QFETCH(QString, capabilities);
    QFETCH(bool, isVirtual);
    const QStringList call{QStringLiteral("org.freedesktop.Talvori.ResourceManager.addResourceInstance"),
                           QStringLiteral("string:") + name, QStringLiteral("array:string:") + capabilities};
    QCOMPARE(callResourceManager(call), 0);
    Resource resource = Resource::retrieveByName(name);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.isVirtual(), isVirtual);
    const qsizetype count = Resource::retrieveAll().size();

    // A second add with other capabilities changes nothing, and the caller still gets no error.
    const QStringList again{call.at(0), call.at(1), QStringLiteral("array:string:Other")};
    QCOMPARE(callResourceManager(again), 0);
    QCOMPARE(Resource::retrieveAll().size(), count);
    QCOMPARE(Resource::retrieveByName(name).isVirtual(), isVirtual);
}

void ServicesTest::removeResourceInstanceRemovesEverything()
{
    DataStore *db = DataStore::self();
    QCOMPARE(callResourceManager({QStringLiteral("org.freedesktop.Talvori.ResourceManager.addResourceInstance"),
                                  QStringLiteral("string:doomed"), QStringLiteral("array:string:Resource")}),
             0);
    const Resource resource = Resource::retrieveByName(QStringLiteral("doomed"));
    QVERIFY(resource.isValid());

    // A small tree, children created after their parents, with an item in the deepest one.
    Collection top = newCollection(resource, 0, QStringLiteral("top"));
    QVERIFY(db->appendCollection(top));
    Collection child = newCollection(resource, top.id(), QStringLiteral("child"));
    QVERIFY(db->appendCollection(child));
    Collection grandChild = newCollection(resource, child.id(), QStringLiteral("grandchild"));
    QVERIFY(db->appendCollection(grandChild));
    const MimeType mimeType = MimeType::retrieveByName(QStringLiteral("message/rfc822"));
    QVERIFY(mimeType.isValid());
    PimItem item;
    QList<Part> parts;
    Part part;
    part.setName(QStringLiteral("PLD:RFC822"));
    part.setData("Subject: bye\r\n\r\nbody");
    part.setDatasize(part.data().size());
    parts.append(part);
    QVERIFY(db->appendPimItem(parts, mimeType, grandChild, QDateTime::currentDateTimeUtc(), QStringLiteral("rid-1"),
                              QStringLiteral("rev-7"), item));

    // Wait for the additions to be announced, then watch only the removal.
    QTest::qWait(300);
    m_listener->batches.clear();
    QCOMPARE(callResourceManager({QStringLiteral("org.freedesktop.Talvori.ResourceManager.removeResourceInstance"),
                                  QStringLiteral("string:doomed")}),
             0);

    QVERIFY(!Resource::retrieveByName(QStringLiteral("doomed")).isValid());
    for (const qint64 id : {top.id(), child.id(), grandChild.id()})
        QVERIFY(!Collection::retrieveById(id).isValid());
    QVERIFY(!PimItem::retrieveById(item.id()).isValid());

    QTRY_VERIFY_WITH_TIMEOUT(!m_listener->batches.isEmpty(), 5000);
    QTest::qWait(300);
    QSet<qint64> removedCollections;
    QSet<qint64> removedItems;
    for (const NotificationMessage::List &list : std::as_const(m_listener->batches)) {
        for (const NotificationMessage &msg : list) {
            QCOMPARE(msg.operation(), int(NotificationMessage::Remove));
            (msg.type() == NotificationMessage::Item ? removedItems : removedCollections).insert(msg.uid());
            if (msg.type() == NotificationMessage::Item)
                QCOMPARE(msg.itemParts(), (QSet<QByteArray>{"rev-7"}));
        }
    }
    QCOMPARE(removedCollections, (QSet<qint64>{top.id(), child.id(), grandChild.id()}));
    QCOMPARE(removedItems, (QSet<qint64>{item.id()}));

    // Removing an unknown name is no error either.
    QCOMPARE(callResourceManager({QStringLiteral("org.freedesktop.Talvori.ResourceManager.removeResourceInstance"),
                                  QStringLiteral("string:doomed")}),
             0);
}

QTEST_GUILESS_MAIN(ServicesTest)
#include "tst_services.moc"
