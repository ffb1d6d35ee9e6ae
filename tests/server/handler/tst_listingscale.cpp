// A deep listing costs a fixed number of SQL statements however large the tree is, and says
// exactly what the one-collection-at-a-time path says about each collection.

#include "collectiontreefiller.h"
#include "handler/handlersupport.h"
#include "handler/list.h"
#include "protocol/imapstreamparser.h"
#include "storage/datastore.h"
#include "storage/session.h"
#include "teststorage.h"

#include <listingline.h>

#include <QBuffer>
#include <QSqlDriver>
#include <QTest>

#include <climits>

#include <sqlite3.h>

using namespace Talvori;

namespace {

int traceStatement(unsigned, void *counter, void *, void *)
{
    ++*static_cast<int *>(counter);
    return 0;
}

} // namespace

class ListingScaleTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void statementsDoNotGrowWithTheTree_data();
    void statementsDoNotGrowWithTheTree();

private:
    // Runs a listing command (without tag and command word) through the handler; returns the
    // untagged lines and counts the statements it ran.
    QList<QByteArray> runList(const QByteArray &arguments, bool onlySubscribed, int *statements);

    // Statements are counted with SQLite's own tracing.
    TestStorage m_storage{QStringLiteral("QSQLITE3")};
    // The handler runs in a plain session: no connection thread is needed.
    Session m_session;
};

void ListingScaleTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare());
}

QList<QByteArray> ListingScaleTest::runList(const QByteArray &arguments, bool onlySubscribed, int *statements)
{
    QBuffer input;
    input.setData(arguments + "\r\n");
    input.open(QIODevice::ReadOnly);
    ImapStreamParser parser(&input);
    List handler(Scope::Plain, onlySubscribed);
    handler.setConnection(&m_session);
    handler.setStreamParser(&parser);
    handler.setTag("t");
    QList<QByteArray> lines;
    connect(&handler, &Handler::responseAvailable, this,
            [&lines](const Response &response) { lines.append(response.asString()); });

    auto *db = static_cast<sqlite3 *>(DataStore::self()->database().driver()->handle().value<void *>());
    int count = 0;
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, traceStatement, &count);
    const bool ok = handler.parseStream();
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
    *statements = count;
    if (!ok || lines.isEmpty() || lines.last() != "t OK List completed")
        qWarning() << arguments << lines.mid(lines.size() - 1);
    lines.removeLast();
    return lines;
}

void ListingScaleTest::statementsDoNotGrowWithTheTree_data()
{
    QTest::addColumn<QByteArray>("arguments");
    QTest::addColumn<bool>("onlySubscribed");
    QTest::newRow("LIST 0 INF") << QByteArray("0 INF (RESOURCE \"scale\")") << false;
    QTest::newRow("X-TVLIST 0 INF with statistics and ancestors")
        << QByteArray("0 INF (RESOURCE \"scale\") (STATISTICS true ANCESTORS INF)") << false;
    QTest::newRow("LSUB with a content type filter")
        << QByteArray("0 INF (RESOURCE \"scale\" MIMETYPE (message/rfc822))") << true;
}

void ListingScaleTest::statementsDoNotGrowWithTheTree()
{
    QFETCH(QByteArray, arguments);
    QFETCH(bool, onlySubscribed);

    // Each row grows the same resource; the first fill happens once.
    static int filled = 0;
    if (filled == 0) {
        QVERIFY(CollectionTreeFiller(QStringLiteral("scale"), 3).fill(15, 40));
        filled = 15;
    }
    // A first run pays for statements the connection makes once (resource lookups, driver setup).
    int statementsOfFirstRun = 0;
    runList(arguments, onlySubscribed, &statementsOfFirstRun);
    int smallStatements = 0;
    const QList<QByteArray> small = runList(arguments, onlySubscribed, &smallStatements);
    QCOMPARE(small.size(), filled);

    QVERIFY(CollectionTreeFiller(QStringLiteral("scale"), 3).fill(60, 200));
    filled += 60;
    int largeStatements = 0;
    const QList<QByteArray> large = runList(arguments, onlySubscribed, &largeStatements);
    QCOMPARE(large.size(), filled);
    QCOMPARE(largeStatements, smallStatements);
    QVERIFY2(largeStatements <= 10, QByteArray::number(largeStatements).constData());

    // Every line equals the one the single-collection path writes.
    const bool statistics = arguments.contains("STATISTICS");
    for (const QByteArray &text : large) {
        ListingLine line;
        QVERIFY(line.parse(text));
        Collection collection = Collection::retrieveById(line.id);
        DataStore::activeCachePolicy(collection);
        QStack<Collection> ancestors;
        for (Collection parent = collection.parent(); parent.isValid(); parent = parent.parent())
            ancestors.prepend(parent);
        const QByteArray expected = "* "
            + HandlerSupport::collectionLine(collection, false, statistics, statistics ? INT_MAX : 0, ancestors);
        QCOMPARE(text, expected);
    }
}

QTEST_GUILESS_MAIN(ListingScaleTest)
#include "tst_listingscale.moc"
