// The interval check and the cache cleaner in a real server with short periods: which collections
// are asked to synchronise and how often, which cached payloads expire and which stay, and that
// the cleaner waits for a client's open transaction instead of stalling or failing, and that an
// expired payload comes back from its resource when a client asks for it again.

#include "syncrecorder.h"
#include "testclient.h"
#include "testresource.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTest>

namespace {

// One "minute" of cache policies, and the services' periods, in milliseconds.
constexpr int Minute = 100;
constexpr int Period = 150;

} // namespace

class MaintenanceTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void collectionsAreSynchronisedAtTheirInterval();
    void expiredPayloadsAreDropped();
    void cleanerWaitsForAnOpenTransaction();
    void disabledCleanerKeepsPayloads();

private:
    qint64 collection(const QByteArray &name, const QByteArray &policy, qint64 parent = 0);
    // PLD:RFC822 of the item: its data size, or -1 when the row is gone.
    qint64 payloadSize(qint64 item, const QString &part = QStringLiteral("PLD:RFC822"));
    qint64 appendItem(qint64 collection, bool clean, const QByteArray &payload);

    TestServer m_server;
    TestClient m_client;
    QSqlDatabase m_db;
};

void MaintenanceTest::initTestCase()
{
    QVERIFY(m_server.prepare());
    const TempEnvironment &home = m_server.environment();
    home.writeServerSettings(QStringLiteral("Debug"), QStringLiteral("IntervalCheckPeriod"), Period);
    home.writeServerSettings(QStringLiteral("Debug"), QStringLiteral("CacheCleanerPeriod"), Period);
    home.writeServerSettings(QStringLiteral("Debug"), QStringLiteral("CacheTimeoutUnit"), Minute);
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    QVERIFY(m_server.login(m_client, "res1"));
    m_db = m_server.addDatabaseConnection(QStringLiteral("look"));
    QVERIFY(m_db.open());
}

void MaintenanceTest::cleanupTestCase()
{
    m_db.close();
    QCOMPARE(m_server.stop(), 0);
}

qint64 MaintenanceTest::collection(const QByteArray &name, const QByteArray &policy, qint64 parent)
{
    return m_client.create('"' + name + "\" " + QByteArray::number(parent)
                           + " (MIMETYPE (message/rfc822 inode/directory) CACHEPOLICY " + policy + ")");
}

qint64 MaintenanceTest::payloadSize(qint64 item, const QString &part)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT datasize, data IS NULL FROM PartTable WHERE pimItemId = %1 AND name = '%2'")
                        .arg(item)
                        .arg(part))
        || !query.next())
        return -1;
    return query.value(1).toBool() ? 0 : query.value(0).toLongLong();
}

qint64 MaintenanceTest::appendItem(qint64 collection, bool clean, const QByteArray &payload)
{
    // An item with a remote id has reached its resource: it is clean. Two parts besides the payload:
    // a local one the policy keeps, and an attribute.
    const QByteArray flags = clean ? "(\\RemoteId[r" + QByteArray::number(qHash(payload)) + "])" : "()";
    return m_client.tvAppend(collection,
                             "(PLD:RFC822 :" + QByteArray::number(payload.size()) + " PLD:HEAD :4 ATR:NOTE :4)",
                             payload + "headnote", flags);
}

void MaintenanceTest::collectionsAreSynchronisedAtTheirInterval()
{
    SyncRecorder recorder(m_server.bus().address(), QStringLiteral("res1"));
    // Five minutes of check interval: every 500 ms here.
    const qint64 top = collection("Top", "(INHERIT false INTERVAL 5 CACHETIMEOUT -1 SYNCONDEMAND false LOCALPARTS (ALL))");
    const qint64 child = collection("Child", "(INHERIT true)", top);
    const qint64 never = collection("Never", "(INHERIT false INTERVAL -1 CACHETIMEOUT -1 SYNCONDEMAND false LOCALPARTS (ALL))");
    const qint64 unsubscribed = collection("Unsubscribed", "(INHERIT false INTERVAL 5 CACHETIMEOUT -1 SYNCONDEMAND false LOCALPARTS (ALL))");
    QVERIFY(top > 0 && child > 0 && never > 0 && unsubscribed > 0);
    QVERIFY(m_client.runOk("UNSUBSCRIBE Unsubscribed"));

    QTest::qWait(25 * Minute);
    for (qint64 id : {top, child}) {
        const QList<qint64> times = recorder.timesOf(id);
        QVERIFY2(times.size() >= 3, qPrintable(QStringLiteral("%1 asked %2 times").arg(id).arg(times.size())));
        // At most once per interval, and not much later than one poll after it. The times are those
        // the requests arrive at the peer: on a loaded machine one that is delivered late makes the
        // next gap look shorter by as much, so up to a poll of slack on that side (asking at every
        // poll would still give gaps of one period).
        for (qsizetype i = 1; i < times.size(); ++i) {
            const qint64 gap = times.at(i) - times.at(i - 1);
            QVERIFY2(gap >= 5 * Minute - Period && gap <= 5 * Minute + 2 * Period + 100, QByteArray::number(gap).constData());
        }
    }
    QVERIFY(recorder.timesOf(never).isEmpty());
    QVERIFY(recorder.timesOf(unsubscribed).isEmpty());
    // The top-level collection's resource is asked for its tree first, every time.
    for (qsizetype i = 0; i < recorder.requests.size(); ++i) {
        if (recorder.requests.at(i).collection == top)
            QCOMPARE(recorder.requests.value(i - 1).collection, qint64(-1));
    }
    QVERIFY(m_client.runOk("UID DELETE " + QByteArray::number(top)));
    QVERIFY(m_client.runOk("UID DELETE " + QByteArray::number(never)));
    QVERIFY(m_client.runOk("UID DELETE " + QByteArray::number(unsubscribed)));
}

void MaintenanceTest::expiredPayloadsAreDropped()
{
    // A cache timeout of 2 minutes expires after the least of 5; local part "HEAD" stays.
    const qint64 expiring =
        collection("Expiring", "(INHERIT false INTERVAL -1 CACHETIMEOUT 2 SYNCONDEMAND false LOCALPARTS (HEAD))");
    const qint64 keeping = collection("Keeping", "(INHERIT false INTERVAL -1 CACHETIMEOUT 2 SYNCONDEMAND false LOCALPARTS (ALL))");
    const qint64 noTimeout = collection("NoTimeout", "(INHERIT false INTERVAL -1 CACHETIMEOUT -1 SYNCONDEMAND false LOCALPARTS (HEAD))");
    const QByteArray large(8000, 'L');
    const qint64 clean = appendItem(expiring, true, large);
    const qint64 cleanSmall = appendItem(expiring, true, "small payload");
    const qint64 dirty = appendItem(expiring, false, large);
    const qint64 kept = appendItem(keeping, true, large);
    const qint64 timeless = appendItem(noTimeout, true, large);
    QVERIFY(clean > 0 && cleanSmall > 0 && dirty > 0 && kept > 0 && timeless > 0);
    QSqlQuery file(m_db);
    QVERIFY(file.exec(QStringLiteral("SELECT data FROM PartTable WHERE pimItemId = %1 AND name = 'PLD:RFC822'").arg(clean)));
    QVERIFY(file.next());
    const QString payloadFile = QString::fromUtf8(file.value(0).toByteArray());
    // An open read would keep this connection looking at the database as it is now.
    file.finish();
    QVERIFY(QFile::exists(payloadFile));

    // Not yet: nobody read them for less than five minutes.
    QTest::qWait(3 * Minute);
    QCOMPARE(payloadSize(clean), qint64(large.size()));
    QVERIFY2(QTest::qWaitFor([&] { return payloadSize(clean) == 0; }, 30 * Minute), m_server.output().right(3000).constData());
    QVERIFY(QTest::qWaitFor([&] { return payloadSize(cleanSmall) == 0; }, 10 * Minute));
    QVERIFY(!QFile::exists(payloadFile));
    QTest::qWait(2 * Period);
    QCOMPARE(payloadSize(clean, QStringLiteral("PLD:HEAD")), qint64(4));
    QCOMPARE(payloadSize(clean, QStringLiteral("ATR:NOTE")), qint64(4));
    QCOMPARE(payloadSize(dirty), qint64(large.size()));
    QCOMPARE(payloadSize(kept), qint64(large.size()));
    QCOMPARE(payloadSize(timeless), qint64(large.size()));
    // A FETCH from the cache alone now shows nothing for the expired part.
    const QList<QByteArray> fetched = m_client.run("UID FETCH " + QByteArray::number(clean) + " CACHEONLY (PLD:RFC822)");
    QVERIFY2(fetched.value(0).contains("PLD:RFC822 NIL"), fetched.value(0).constData());

    // Asked for by another client, the expired payload comes back from its resource, once.
    TestResource resource(QStringLiteral("res1"), m_server);
    QVERIFY2(resource.start(), qPrintable(resource.errorString()));
    resource.setPayload(QStringLiteral("r") + QString::number(qHash(large)), large);
    TestClient reader;
    QVERIFY(m_server.login(reader, "reader"));
    const QList<QByteArray> again = reader.run("UID FETCH " + QByteArray::number(clean) + " (PLD:RFC822)");
    QVERIFY2(again.value(0).contains(large), again.value(0).left(300).constData());
    QCOMPARE(resource.deliveries().size(), 1);
    QCOMPARE(payloadSize(clean), qint64(large.size()));
    const QList<QByteArray> cached = reader.run("UID FETCH " + QByteArray::number(clean) + " (PLD:RFC822)");
    QVERIFY(cached.value(0).contains(large));
    QCOMPARE(resource.deliveries().size(), 1);
    resource.stop();
}

void MaintenanceTest::cleanerWaitsForAnOpenTransaction()
{
    const qint64 waiting = collection("Waiting", "(INHERIT false INTERVAL -1 CACHETIMEOUT 0 SYNCONDEMAND false LOCALPARTS ())");
    const qint64 item = appendItem(waiting, true, QByteArray(100, 'w'));
    QVERIFY(item > 0);
    // Another client takes the write lock and keeps it past the expiry time.
    TestClient holder;
    QVERIFY(m_server.login(holder, "holder"));
    QVERIFY(holder.runOk("BEGIN"));
    QVERIFY(holder.tvAppend(waiting, "(PLD:RFC822 :1)", "h") > 0);

    QTest::qWait(5 * Minute + 3 * Period);
    // The main thread is not held up: the bus gets its answers at once meanwhile.
    QElapsedTimer clock;
    clock.start();
    const QDBusMessage introspect = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/Server"),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    QCOMPARE(QDBusConnection::sessionBus().call(introspect, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
    QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(payloadSize(item), qint64(100));

    QVERIFY(holder.runOk("COMMIT"));
    QVERIFY(QTest::qWaitFor([&] { return payloadSize(item) == 0; }, 30 * Minute));
}

// Last, since it restarts the server with the cleaner switched off.
void MaintenanceTest::disabledCleanerKeepsPayloads()
{
    QCOMPARE(m_server.stop(), 0);
    m_server.environment().writeServerSettings(QStringLiteral("Cache"), QStringLiteral("EnableCleaner"), false);
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    TestClient client;
    QVERIFY(m_server.login(client, "res1"));
    const qint64 expired = client.create(
        "\"Expired\" 0 (MIMETYPE (message/rfc822) CACHEPOLICY (INHERIT false INTERVAL -1 CACHETIMEOUT 0 "
        "SYNCONDEMAND false LOCALPARTS ()))");
    QVERIFY(expired > 0);
    const qint64 item = client.tvAppend(expired, "(PLD:RFC822 :7)", "payload", "(\\RemoteId[kept])");
    QVERIFY(item > 0);

    // Well past the five minutes after which an enabled cleaner drops it (see above).
    QTest::qWait(5 * Minute + 5 * Period);
    QCOMPARE(payloadSize(item), qint64(7));
}

QTEST_GUILESS_MAIN(MaintenanceTest)
#include "tst_maintenance.moc"
