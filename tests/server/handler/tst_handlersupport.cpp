// The shared handler helpers on a real database in this process (TALVORI_TEST_BACKEND picks it):
// depth words, cache policy lists and when they count as a change, collection lookup by id and
// path, flags created on demand, single-collection resolution, and the name and move checks.

#include "handler/handlersupport.h"
#include "storage/collectionresolver.h"
#include "storage/itemqueryhelper.h"
#include "storage/session.h"
#include "protocol/scope.h"
#include "storage/datastore.h"
#include "storage/selectquerybuilder.h"
#include "teststorage.h"

#include "common/exception.h"

#include "protocol/imapstreamparser.h"

#include <QBuffer>
#include <QDateTime>
#include <QTest>

#include <climits>

using namespace Talvori;

class HandlerSupportTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void depthFromText_data();
    void depthFromText();
    void applyCachePolicy_data();
    void applyCachePolicy();
    void findCollection_data();
    void findCollection();
    void collectionPath();
    void flagsForNamesCreatesOnce();
    void resolveSingle();
    void nameAndMoveChecks();
    void itemScopes_data();
    void itemScopes();

private:
    Collection make(const QString &name, qint64 parentId, const QString &remoteId = QString());

    TestStorage m_storage;
    Resource m_resource;
    Collection m_top;
    Collection m_numbered; // a top-level collection named "42"
    Collection m_child;
    Collection m_grandchild;
};

void HandlerSupportTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());

    m_resource.setName(QStringLiteral("support"));
    QVERIFY(m_resource.insert());
    m_top = make(QStringLiteral("Top"), 0, QStringLiteral("top"));
    m_numbered = make(QStringLiteral("42"), 0);
    m_child = make(QStringLiteral("Child"), m_top.id(), QStringLiteral("child"));
    m_grandchild = make(QStringLiteral("Grand"), m_child.id(), QStringLiteral("grand"));
    QVERIFY(m_grandchild.isValid());
}

Collection HandlerSupportTest::make(const QString &name, qint64 parentId, const QString &remoteId)
{
    Collection collection;
    collection.setName(name);
    collection.setParentId(parentId);
    collection.setRemoteId(remoteId);
    collection.setResourceId(m_resource.id());
    collection.setCachePolicyInherit(true);
    collection.setCachePolicyCheckInterval(-1);
    collection.setCachePolicyCacheTimeout(-1);
    if (!DataStore::self()->appendCollection(collection))
        return Collection();
    return collection;
}

void HandlerSupportTest::depthFromText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("INF") << QByteArray("INF") << INT_MAX << QByteArray();
    QTest::newRow("number") << QByteArray("3") << 3 << QByteArray();
    QTest::newRow("negative") << QByteArray("-2") << -2 << QByteArray();
    QTest::newRow("lower-case inf") << QByteArray("inf") << 0 << QByteArray("Invalid depth argument");
    QTest::newRow("word") << QByteArray("deep") << 0 << QByteArray("Invalid depth argument");
    QTest::newRow("empty") << QByteArray() << 0 << QByteArray("No depth specified");
}

void HandlerSupportTest::depthFromText()
{
    QFETCH(QByteArray, text);
    QFETCH(int, depth);
    QFETCH(QByteArray, error);
    try {
        QCOMPARE(HandlerSupport::depthFromText(text), depth);
        QVERIFY(error.isEmpty());
    } catch (const ImapParserException &e) {
        QCOMPARE(QByteArray(e.what()), error);
    }
}

void HandlerSupportTest::applyCachePolicy_data()
{
    QTest::addColumn<bool>("inherit");
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("localParts");

    QTest::newRow("interval of an inherited policy") << true << QByteArray("(INTERVAL 5)") << false << QString();
    QTest::newRow("interval and own policy") << true << QByteArray("(INTERVAL 5 INHERIT false)") << true << QString();
    QTest::newRow("interval of an own policy") << false << QByteArray("(INTERVAL 5)") << true << QString();
    QTest::newRow("same values") << false << QByteArray("(INTERVAL -1 CACHETIMEOUT -1)") << false << QString();
    QTest::newRow("back to inherited") << false << QByteArray("(INHERIT true)") << true << QString();
    QTest::newRow("local parts, unknown key, dangling key")
        << false << QByteArray("(BOGUS x LOCALPARTS (PLD:A PLD:B) SYNCONDEMAND)") << true
        << QStringLiteral("PLD:A PLD:B");
}

void HandlerSupportTest::applyCachePolicy()
{
    QFETCH(bool, inherit);
    QFETCH(QByteArray, list);
    QFETCH(bool, changed);
    QFETCH(QString, localParts);
    Collection collection = m_top;
    collection.setCachePolicyInherit(inherit);
    bool changedFlag = false;
    const QByteArray data = "x " + list + " rest";
    QCOMPARE(HandlerSupport::applyCachePolicy(data, collection, 1, &changedFlag), int(2 + list.size()));
    QCOMPARE(changedFlag, changed);
    if (!localParts.isEmpty())
        QCOMPARE(collection.cachePolicyLocalParts(), localParts);
}

void HandlerSupportTest::findCollection_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("name");
    QTest::newRow("path") << QByteArray("Top/Child/Grand") << QStringLiteral("Grand");
    QTest::newRow("slashes around") << QByteArray("/Top/Child/") << QStringLiteral("Child");
    QTest::newRow("id") << QByteArray::number(m_child.id()) << QStringLiteral("Child");
    QTest::newRow("digits are an id, not a name") << QByteArray("42") << QString();
    QTest::newRow("unknown part") << QByteArray("Top/Nope") << QString();
    QTest::newRow("empty part") << QByteArray("Top//Child") << QString();
}

void HandlerSupportTest::findCollection()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, name);
    if (text == "42" && m_numbered.id() == 42)
        QSKIP("the collection named 42 happens to have id 42");
    const Collection found = CollectionResolver::findCollection(text);
    QCOMPARE(found.isValid(), !name.isEmpty());
    if (found.isValid())
        QCOMPARE(found.name(), name);
}

void HandlerSupportTest::collectionPath()
{
    QCOMPARE(CollectionResolver::collectionPath(m_grandchild), QStringLiteral("Top/Child/Grand"));
    QCOMPARE(CollectionResolver::collectionPath(m_top), QStringLiteral("Top"));
}

void HandlerSupportTest::flagsForNamesCreatesOnce()
{
    const QList<Flag> first = HandlerSupport::flagsForNames({"\\SEEN", "new-flag-\xc3\xa4"});
    QCOMPARE(first.size(), 2);
    QCOMPARE(first.at(1).name(), QString::fromUtf8("new-flag-\xc3\xa4"));
    QVERIFY(first.at(1).isValid());
    const QList<Flag> second = HandlerSupport::flagsForNames({"new-flag-\xc3\xa4", "\\SEEN"});
    QCOMPARE(second.at(0).id(), first.at(1).id());
    QCOMPARE(second.at(1).id(), first.at(0).id());
}

void HandlerSupportTest::resolveSingle()
{
    Session connection;
    Scope root(Scope::Plain);
    ImapSet zero;
    zero.add(ImapInterval(0, 0));
    root.setIdSet(zero);
    const Collection resolvedRoot = CollectionResolver::resolveSingle(root, connection);
    QCOMPARE(resolvedRoot.id(), qint64(0));

    Scope byId(Scope::ById);
    ImapSet one;
    one.add(ImapInterval(m_child.id(), m_child.id()));
    byId.setIdSet(one);
    QCOMPARE(CollectionResolver::resolveSingle(byId, connection).name(), QStringLiteral("Child"));

    ImapSet missing;
    missing.add(ImapInterval(999999, 999999));
    byId.setIdSet(missing);
    try {
        CollectionResolver::resolveSingle(byId, connection);
        QFAIL("a missing collection resolved");
    } catch (const HandlerException &e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("No collection found"));
    }

    // Remote identifier chains resolve within the resource, addressed collection first.
    const QStringList chain = {QStringLiteral("grand"), QStringLiteral("child"), QStringLiteral("top"), QString()};
    QCOMPARE(CollectionResolver::resolveRidChain(chain, m_resource.id()).id(), m_grandchild.id());
    try {
        CollectionResolver::resolveRidChain(chain, m_resource.id() + 100);
        QFAIL("a chain resolved in another resource");
    } catch (const HandlerException &e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("Hierarchical RID does not specify a unique collection"));
    }
}

void HandlerSupportTest::nameAndMoveChecks()
{
    // Its own name under its own parent is fine; a sibling's is not.
    QVERIFY(CollectionResolver::isNameUnique(m_top, QStringLiteral("Top"), 0));
    QVERIFY(!CollectionResolver::isNameUnique(m_top, QStringLiteral("42"), 0));
    QVERIFY(CollectionResolver::isNameUnique(m_child, QStringLiteral("42"), m_top.id()));

    Collection root;
    root.setId(0);
    QVERIFY(!DataStore::canMoveUnder(m_top, m_grandchild));
    QVERIFY(!DataStore::canMoveUnder(m_top, m_child));
    QVERIFY(!DataStore::canMoveUnder(m_top, m_top));
    QVERIFY(DataStore::canMoveUnder(m_top, root));
    QVERIFY(DataStore::canMoveUnder(m_grandchild, m_top));
    QVERIFY(DataStore::canMoveUnder(m_child, m_top));
}

void HandlerSupportTest::itemScopes_data()
{
    QTest::addColumn<int>("selection");
    QTest::addColumn<QStringList>("identifiers");
    QTest::addColumn<bool>("selectChild");
    QTest::addColumn<bool>("resourceContext");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QByteArray>("error");

    const QStringList none;
    QTest::newRow("RID without any context") << int(Scope::ByRemoteId) << QStringList{"i1"} << false << false << none
                                             << QByteArray("Operations based on remote identifiers require a "
                                                           "resource or collection context");
    QTest::newRow("RID in the selected collection")
        << int(Scope::ByRemoteId) << QStringList{"i1", "i2"} << true << false << QStringList{"i1", "i2"}
        << QByteArray();
    QTest::newRow("RID in the resource") << int(Scope::ByRemoteId) << QStringList{"g1"} << false << true
                                         << QStringList{"g1"} << QByteArray();
    QTest::newRow("RID of another collection, selected collection only")
        << int(Scope::ByRemoteId) << QStringList{"g1"} << true << false << none << QByteArray();
    QTest::newRow("HRID item below a chain")
        << int(Scope::ByRemotePath) << QStringList{"g1", "grand", "child", "top", ""} << false << true
        << QStringList{"g1"} << QByteArray();
    QTest::newRow("HRID with a broken chain")
        << int(Scope::ByRemotePath) << QStringList{"g1", "nope", "top", ""} << false << true << none
        << QByteArray("Hierarchical RID does not specify a unique collection");
}

void HandlerSupportTest::itemScopes()
{
    QFETCH(int, selection);
    QFETCH(QStringList, identifiers);
    QFETCH(bool, selectChild);
    QFETCH(bool, resourceContext);
    QFETCH(QStringList, found);
    QFETCH(QByteArray, error);

    static bool filled = false;
    if (!filled) {
        const MimeType mail = MimeType::retrieveByName(QStringLiteral("message/rfc822"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (const auto &[rid, collection] : {std::pair{"i1", m_child.id()}, std::pair{"i2", m_child.id()},
                                              std::pair{"g1", m_grandchild.id()}}) {
            PimItem item(0, QString::fromLatin1(rid), QString(), collection, mail.id(), now, now, false, 1);
            QVERIFY(item.insert());
        }
        filled = true;
    }

    // Readers see the scope only through a stream, so build it the way a command would carry it.
    QByteArray text;
    if (selection == Scope::ByRemoteId) {
        text = "(";
        for (const QString &rid : identifiers)
            text += '"' + rid.toUtf8() + "\" ";
        text += ')';
    } else {
        text = "(";
        for (const QString &rid : identifiers)
            text += "(0 \"" + rid.toUtf8() + "\") ";
        text += ')';
    }
    QBuffer input;
    input.setData(text + "\r\n");
    input.open(QIODevice::ReadOnly);
    ImapStreamParser parser(&input);
    Scope scope(static_cast<Scope::SelectionScope>(selection));
    scope.readFromStream(&parser);

    Session connection;
    if (selectChild)
        connection.setSelectedCollection(m_child.id());
    if (resourceContext)
        connection.setResourceContext(m_resource);
    SelectQueryBuilder<PimItem> qb;
    try {
        ItemQueryHelper::scopeToQuery(scope, connection, qb);
        QVERIFY(error.isEmpty());
    } catch (const HandlerException &e) {
        QCOMPARE(QByteArray(e.what()), error);
        return;
    }
    QVERIFY(qb.exec());
    QStringList rids;
    for (const PimItem &item : qb.result())
        rids.append(item.remoteId());
    rids.sort();
    QCOMPARE(rids, found);
}

QTEST_GUILESS_MAIN(HandlerSupportTest)
#include "tst_handlersupport.moc"
