// Crash consistency under load: clients append items (1 KiB in the database, 64 KiB in files),
// replace their flags and their payload while the server is killed with SIGKILL at random moments.
// After each restart every acknowledged change is there with its exact bytes, a change that was in
// flight is there whole or not at all, no payload file lacks its row or its row its file, and the
// database's own integrity check passes. TALVORI_CRASH_KILLS sets the number of kills (3 unless
// set; by hand: TALVORI_CRASH_KILLS=50); TALVORI_TEST_BACKEND picks the database. The counts are
// printed at the end.

#include "testclient.h"
#include "testserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <atomic>
#include <optional>

namespace {

// TALVORI_CRASH_KILLS, 3 unless set.
int killCount()
{
    return qEnvironmentVariableIsSet("TALVORI_CRASH_KILLS") ? qEnvironmentVariableIntValue("TALVORI_CRASH_KILLS") : 3;
}

constexpr int Clients = 4;

struct ItemState {
    QByteArray payload;
    QByteArrayList flags; // sorted
    bool operator==(const ItemState &other) const = default;
};

// What one client knows: its acknowledged items, and the one change whose answer did not come.
struct ClientModel {
    qint64 collection = -1;
    QHash<qint64, ItemState> items;
    enum class Pending { None, Append, Flags, Part };
    Pending pending = Pending::None;
    qint64 pendingItem = -1;
    ItemState pendingState;
    QSet<qint64> touched; // since the last check
};

struct Counts {
    int kills = 0;
    int appends = 0;
    int flagStores = 0;
    int partStores = 0;
    int refused = 0;
    int inFlightApplied = 0;
    int inFlightDropped = 0;
    int filesRemovedAtStart = 0;
    int losses = 0;
    int phantoms = 0;
    int orphans = 0;
    int missing = 0;
    int integrityChecks = 0;
    int integrityFailures = 0;
};

// One client's load on a thread of its own, until the server is gone.
class LoadClient : public QThread
{
public:
    LoadClient(int number, QString socketPath, ClientModel &model)
        : m_number(number)
        , m_socketPath(std::move(socketPath))
        , m_model(model)
    {
    }
    int appends = 0, flagStores = 0, partStores = 0, refused = 0;

protected:
    void run() override
    {
        TestClient client;
        client.setTimeout(60000);
        if (!client.open(m_socketPath) || !client.login("res1"))
            return;
        QRandomGenerator random(QRandomGenerator::global()->generate());
        while (client.socket()->state() == QLocalSocket::ConnectedState) {
            const int choice = m_model.items.isEmpty() ? 0 : int(random.bounded(10));
            if (choice < 5)
                append(client, random);
            else if (choice < 8)
                storeFlags(client, random);
            else
                storePart(client, random);
        }
    }

private:
    QByteArray payload(QRandomGenerator &random)
    {
        const int size = random.bounded(3) == 0 ? 64 * 1024 : 1024;
        QByteArray bytes = "client " + QByteArray::number(m_number) + " change " + QByteArray::number(++m_serial) + ' ';
        bytes.reserve(size);
        while (bytes.size() < size)
            bytes.append(char('a' + random.bounded(26)));
        return bytes;
    }
    qint64 anyItem(QRandomGenerator &random) const
    {
        auto it = m_model.items.cbegin();
        std::advance(it, random.bounded(int(m_model.items.size())));
        return it.key();
    }
    // Whether the answer came; a NO counts as refused and leaves the model as it was.
    bool answered(TestClient &client, bool ok)
    {
        if (ok)
            return true;
        if (client.socket()->state() == QLocalSocket::ConnectedState) {
            ++refused;
            m_model.pending = ClientModel::Pending::None;
        }
        return false;
    }
    void expect(ClientModel::Pending change, qint64 item, const ItemState &state)
    {
        m_model.pending = change;
        m_model.pendingItem = item;
        m_model.pendingState = state;
    }
    void acknowledge(qint64 item, int &counter)
    {
        m_model.items.insert(item, m_model.pendingState);
        m_model.touched.insert(item);
        m_model.pending = ClientModel::Pending::None;
        ++counter;
    }
    void append(TestClient &client, QRandomGenerator &random)
    {
        const QByteArray bytes = payload(random);
        expect(ClientModel::Pending::Append, -1, {bytes, {}});
        const qint64 id = client.tvAppend(m_model.collection, "(PLD:RFC822 :" + QByteArray::number(bytes.size()) + ")", bytes);
        if (!answered(client, id > 0))
            return;
        acknowledge(id, appends);
    }
    void storeFlags(TestClient &client, QRandomGenerator &random)
    {
        const qint64 id = anyItem(random);
        QByteArrayList flags;
        for (const char *flag : {"$a", "$b", "$c"}) {
            if (random.bounded(2))
                flags.append(flag);
        }
        expect(ClientModel::Pending::Flags, id, {m_model.items.value(id).payload, flags});
        const QByteArray command = "UID STORE " + QByteArray::number(id) + " (FLAGS (" + flags.join(' ') + "))";
        if (!answered(client, client.runOk(command)))
            return;
        acknowledge(id, flagStores);
    }
    void storePart(TestClient &client, QRandomGenerator &random)
    {
        const qint64 id = anyItem(random);
        const QByteArray bytes = payload(random);
        expect(ClientModel::Pending::Part, id, {bytes, m_model.items.value(id).flags});
        const QByteArray tag = client.nextTag();
        const QList<QByteArray> answer
            = client.runLiteral(tag, "UID STORE " + QByteArray::number(id) + " (PLD:RFC822 ", bytes, ")");
        if (!answered(client, !answer.isEmpty() && answer.last().startsWith(tag + " OK")))
            return;
        acknowledge(id, partStores);
    }

    const int m_number;
    const QString m_socketPath;
    ClientModel &m_model;
    int m_serial = 0;
};

} // namespace

class CrashConsistencyTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void acknowledgedChangesSurviveKills();

private:
    bool restart();
    // The item as the server has it; nullopt when there is no such item.
    std::optional<ItemState> fetch(qint64 id);
    // Compares the server with the models after a restart and adopts what the in-flight changes did.
    void checkItems(bool everything);
    void checkFiles();
    void checkIntegrity();
    QStringList query(const QString &statement);

    TestServer m_server;
    TestClient m_client;
    QSqlDatabase m_database;
    ClientModel m_models[Clients];
    Counts m_counts;
};

void CrashConsistencyTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    QVERIFY(m_server.login(m_client, "res1"));
    for (int i = 0; i < Clients; ++i) {
        m_models[i].collection = m_client.create("\"client" + QByteArray::number(i) + "\" 0 (MIMETYPE (message/rfc822))");
        QVERIFY(m_models[i].collection > 0);
    }
    m_database = m_server.addDatabaseConnection(QStringLiteral("inspection"));
    QVERIFY2(m_database.open(), qPrintable(m_database.lastError().text()));
}

void CrashConsistencyTest::cleanupTestCase()
{
    m_database.close();
    m_client.disconnectFromServer();
    QCOMPARE(m_server.stop(), 0);
}

bool CrashConsistencyTest::restart()
{
    m_client.disconnectFromServer();
    if (!m_server.start({QStringLiteral("res1")})) {
        qWarning() << m_server.errorString();
        return false;
    }
    static const QRegularExpression removed(QStringLiteral("Removed (\\d+) payload files that no item part names"));
    const QRegularExpressionMatch match = removed.match(QString::fromUtf8(m_server.output()));
    if (match.hasMatch())
        m_counts.filesRemovedAtStart += match.captured(1).toInt();
    if (m_server.output().contains("Payload file missing"))
        ++m_counts.missing;
    return m_server.login(m_client, "res1");
}

std::optional<ItemState> CrashConsistencyTest::fetch(qint64 id)
{
    QList<QByteArray> lines;
    if (!m_client.runOk("UID FETCH " + QByteArray::number(id) + " (FLAGS PLD:RFC822)", &lines) || lines.size() < 2)
        return std::nullopt;
    const QByteArray &line = lines.first();
    ItemState state;
    const qsizetype flagsAt = line.indexOf("FLAGS (");
    const qsizetype flagsEnd = line.indexOf(')', flagsAt);
    const QByteArray flags = line.mid(flagsAt + 7, flagsEnd - flagsAt - 7);
    state.flags = flags.isEmpty() ? QByteArrayList() : flags.split(' ');
    std::sort(state.flags.begin(), state.flags.end());
    const qsizetype literal = line.indexOf("PLD:RFC822 {");
    const qsizetype start = line.indexOf("}\r\n", literal);
    const qint64 size = line.mid(literal + 12, start - literal - 12).toLongLong();
    state.payload = line.mid(start + 3, size);
    return state;
}

void CrashConsistencyTest::checkItems(bool everything)
{
    for (int i = 0; i < Clients; ++i) {
        ClientModel &model = m_models[i];
        QSet<qint64> onServer;
        for (const QString &id : query(QStringLiteral("SELECT id FROM PimItemTable WHERE collectionId = %1").arg(model.collection)))
            onServer.insert(id.toLongLong());

        // An append whose answer did not come is there whole or not at all.
        const QSet<qint64> known(model.items.keyBegin(), model.items.keyEnd());
        for (const qint64 id : onServer - known) {
            const std::optional<ItemState> state = fetch(id);
            if (model.pending == ClientModel::Pending::Append && state && *state == model.pendingState) {
                model.items.insert(id, *state);
                model.pending = ClientModel::Pending::None;
                ++m_counts.inFlightApplied;
            } else {
                ++m_counts.phantoms;
                qWarning() << "client" << i << ": item" << id << "was never acknowledged nor in flight";
            }
        }
        if (model.pending == ClientModel::Pending::Append) {
            ++m_counts.inFlightDropped;
            model.pending = ClientModel::Pending::None;
        }

        QSet<qint64> toCheck = everything ? known : model.touched;
        if (model.pending != ClientModel::Pending::None)
            toCheck.insert(model.pendingItem);
        for (const qint64 id : std::as_const(toCheck)) {
            const std::optional<ItemState> state = fetch(id);
            ItemState expected = model.items.value(id);
            std::sort(expected.flags.begin(), expected.flags.end());
            ItemState inFlight = model.pendingState;
            std::sort(inFlight.flags.begin(), inFlight.flags.end());
            if (state && *state == expected) {
                if (id == model.pendingItem && model.pending != ClientModel::Pending::None && !(inFlight == expected))
                    ++m_counts.inFlightDropped;
            } else if (state && id == model.pendingItem && model.pending != ClientModel::Pending::None && *state == inFlight) {
                model.items.insert(id, inFlight);
                ++m_counts.inFlightApplied;
            } else {
                ++m_counts.losses;
                qWarning() << "client" << i << ": item" << id << (state ? "changed" : "lost");
            }
        }
        model.pending = ClientModel::Pending::None;
        model.touched.clear();
    }
}

void CrashConsistencyTest::checkFiles()
{
    const QString directory = m_server.environment().dataHome() + QLatin1String("/talvori/file_db_data");
    QSet<QString> named;
    for (const QString &path : query(QStringLiteral("SELECT data FROM PartTable WHERE external = TRUE"))) {
        named.insert(QFileInfo(path).fileName());
        if (!QFileInfo::exists(path)) {
            ++m_counts.missing;
            qWarning() << "payload file missing:" << path;
        }
    }
    for (const QString &file : QDir(directory).entryList(QDir::Files)) {
        if (!named.contains(file)) {
            ++m_counts.orphans;
            qWarning() << "payload file without its row:" << file;
        }
    }
}

QStringList CrashConsistencyTest::query(const QString &statement)
{
    QSqlQuery q(m_database);
    QStringList values;
    if (!q.exec(statement)) {
        qWarning() << statement << q.lastError().text();
        return {QStringLiteral("error")};
    }
    while (q.next())
        values.append(q.value(0).toString());
    return values;
}

void CrashConsistencyTest::checkIntegrity()
{
    ++m_counts.integrityChecks;
    QStringList problems;
    const QString driver = m_server.backend().driver();
    if (m_server.backend().isSqlite()) {
        const QStringList result = query(QStringLiteral("PRAGMA integrity_check"));
        if (result != QStringList{QStringLiteral("ok")})
            problems += result;
    } else if (driver == QLatin1String("QMYSQL")) {
        for (const QString &table : query(QStringLiteral("SHOW TABLES"))) {
            QSqlQuery q(m_database);
            if (!q.exec(QStringLiteral("CHECK TABLE ") + table))
                problems += table + QLatin1String(": ") + q.lastError().text();
            while (q.next()) {
                const QString type = q.value(2).toString();
                const QString text = q.value(3).toString();
                if (type == QLatin1String("status") && text != QLatin1String("OK"))
                    problems += table + QLatin1String(": ") + text;
                if (type == QLatin1String("error"))
                    problems += table + QLatin1String(": ") + text;
            }
        }
    } else {
        // Every B-tree index against its table (amcheck), where the account may install it.
        QSqlQuery q(m_database);
        if (q.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS amcheck"))) {
            if (!q.exec(QStringLiteral("SELECT bt_index_check(c.oid, true) FROM pg_index i "
                                       "JOIN pg_class c ON c.oid = i.indexrelid JOIN pg_am a ON a.oid = c.relam "
                                       "JOIN pg_namespace n ON n.oid = c.relnamespace "
                                       "WHERE a.amname = 'btree' AND n.nspname = current_schema()")))
                problems += q.lastError().text();
        } else {
            static bool said = false;
            if (!std::exchange(said, true))
                qInfo() << "amcheck is not available, only the references are checked:" << q.lastError().text();
        }
    }
    // References the schema does not enforce on every backend.
    for (const QString &statement :
         {QStringLiteral("SELECT COUNT(*) FROM PartTable p LEFT JOIN PimItemTable i ON i.id = p.pimItemId WHERE i.id IS NULL"),
          QStringLiteral("SELECT COUNT(*) FROM PimItemFlagRelation r LEFT JOIN PimItemTable i ON i.id = r.PimItem_id "
                         "WHERE i.id IS NULL"),
          QStringLiteral("SELECT COUNT(*) FROM PimItemTable i LEFT JOIN PartTable p ON p.pimItemId = i.id "
                         "WHERE p.id IS NULL")}) {
        const QStringList count = query(statement);
        if (count != QStringList{QStringLiteral("0")})
            problems += statement + QLatin1String(": ") + count.join(QLatin1Char(' '));
    }
    if (!problems.isEmpty()) {
        ++m_counts.integrityFailures;
        qWarning() << "integrity:" << problems;
    }
}

void CrashConsistencyTest::acknowledgedChangesSurviveKills()
{
    const int kills = killCount();
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < kills; ++round) {
        std::vector<std::unique_ptr<LoadClient>> clients;
        for (int i = 0; i < Clients; ++i) {
            clients.push_back(std::make_unique<LoadClient>(i, m_server.socketPath(), m_models[i]));
            clients.back()->start();
        }
        QTest::qSleep(200 + int(QRandomGenerator::global()->bounded(1300)));
        m_server.process().kill();
        QVERIFY(m_server.process().waitForFinished(10000));
        ++m_counts.kills;
        for (const auto &client : clients) {
            QVERIFY(client->wait(70000));
            m_counts.appends += client->appends;
            m_counts.flagStores += client->flagStores;
            m_counts.partStores += client->partStores;
            m_counts.refused += client->refused;
        }
        QVERIFY(restart());
        checkItems(false);
        checkFiles();
        checkIntegrity();
        QCOMPARE(m_counts.losses + m_counts.phantoms + m_counts.orphans + m_counts.missing + m_counts.integrityFailures, 0);
    }
    checkItems(true);
    qInfo().noquote() << QStringLiteral(
                             "%1: %2 kills in %3 s; acknowledged %4 appends, %5 flag stores, %6 part stores (%7 refused); "
                             "in flight at a kill: %8 applied, %9 not; payload files removed at start: %10; "
                             "losses %11, phantoms %12, orphans %13, missing %14; integrity %15 checks, %16 failed")
                             .arg(m_server.backend().driver())
                             .arg(m_counts.kills)
                             .arg(timer.elapsed() / 1000)
                             .arg(m_counts.appends)
                             .arg(m_counts.flagStores)
                             .arg(m_counts.partStores)
                             .arg(m_counts.refused)
                             .arg(m_counts.inFlightApplied)
                             .arg(m_counts.inFlightDropped)
                             .arg(m_counts.filesRemovedAtStart)
                             .arg(m_counts.losses)
                             .arg(m_counts.phantoms)
                             .arg(m_counts.orphans)
                             .arg(m_counts.missing)
                             .arg(m_counts.integrityChecks)
                             .arg(m_counts.integrityFailures);
    QCOMPARE(m_counts.losses, 0);
    QCOMPARE(m_counts.phantoms, 0);
}

int main(int argc, char **argv)
{
    // A long run by hand outlasts QtTest's five minutes per test function: allow a minute a kill.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(qMax(5, killCount()) * 60000));
    QCoreApplication app(argc, argv);
    CrashConsistencyTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_crashconsistency.moc"
