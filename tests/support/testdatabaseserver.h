#ifndef TALVORI_TESTDATABASESERVER_H
#define TALVORI_TESTDATABASESERVER_H

#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

// A throwaway MariaDB or PostgreSQL server for one test program: a fresh data directory and a
// socket in a short temporary directory, no TCP listener, a login with a password and an empty
// database. Start it once in initTestCase(); the destructor stops it and removes every file.
// As root the server runs under the unprivileged ServerAccount. A freshly initialised data
// directory is kept in /tmp/talvori-test-db-cache-<uid> and copied for the next test program,
// which saves most of the start-up time (TALVORI_TEST_DB_CACHE=0 turns that off).
//
//     TestDatabaseServer m_mariadb{TestDatabaseServer::MariaDb};
//     void initTestCase() { TALVORI_START_TEST_DB_SERVER(m_mariadb); }
//     ... QSqlDatabase db = m_mariadb.addConnection("c1"); QVERIFY(db.open()); ...
class TestDatabaseServer
{
public:
    enum Kind { MariaDb, PostgreSql };

    explicit TestDatabaseServer(Kind kind);
    ~TestDatabaseServer();
    TestDatabaseServer(const TestDatabaseServer &) = delete;
    TestDatabaseServer &operator=(const TestDatabaseServer &) = delete;

    // Creates the data directory, starts the server and waits until the test login works.
    // False, with errorString(), when a server program is missing or does not come up.
    bool start();
    // Clean shutdown (killed after 30 s); the files stay until destruction.
    void stop();
    bool isRunning() const;
    QString errorString() const { return m_error; }
    // Milliseconds the last start() spent initialising the data directory and starting up.
    qint64 initMs() const { return m_initMs; }
    qint64 startMs() const { return m_startMs; }

    Kind kind() const { return m_kind; }
    QString kindName() const;
    // "QMYSQL" or "QPSQL".
    QString driverName() const;
    // PostgreSQL: the socket directory (libpq takes a host starting with "/" as one). MariaDB:
    // empty, the socket travels in connectOptions().
    QString hostName() const;
    // "UNIX_SOCKET=<socketPath()>" for MariaDB, empty for PostgreSQL.
    QString connectOptions() const;
    QString socketDirectory() const;
    // The socket file itself (PostgreSQL: "<socketDirectory()>/.s.PGSQL.5432").
    QString socketPath() const;
    // A login that may create databases and users, with a password.
    QString userName() const { return QStringLiteral("talvori_test"); }
    QString password() const { return QStringLiteral("talvori-test-pw"); }
    // An existing, empty database the login owns.
    QString databaseName() const { return QStringLiteral("talvoritest"); }

    // Points a server's settings at this database server instead of one of its own: the driver
    // and the keys of its group.
    void configureServer(QSettings &settings) const;

    // Sets the parameters above on db.
    void apply(QSqlDatabase &db) const;
    // A new (unopened) connection with the parameters above.
    QSqlDatabase addConnection(const QString &connectionName) const;

    // True when a server that cannot be started must fail the test rather than skip it: in CI
    // (CI=true) or when TALVORI_REQUIRE_DB_SERVERS=1.
    static bool required();

private:
    bool fail(const QString &message);
    bool initMariaDb();
    bool initPostgreSql();
    bool launch(const QString &program, const QStringList &arguments);
    bool waitUntilReady();
    bool createLoginAndDatabase();
    QString logTail() const;
    QString pidFile() const;

    Kind m_kind;
    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_process;
    QString m_error;
    qint64 m_initMs = 0;
    qint64 m_startMs = 0;
};

// Ends a test function over a database server that is not there: failed where database servers are
// required (required()), skipped elsewhere.
#define TALVORI_SKIP_OR_FAIL(reason)                                                                                   \
    do {                                                                                                               \
        if (TestDatabaseServer::required())                                                                            \
            QFAIL(reason);                                                                                             \
        QSKIP(reason);                                                                                                 \
    } while (false)

// Starts server in a test function (normally initTestCase()), skipping or failing the test with the
// reason when it cannot start.
#define TALVORI_START_TEST_DB_SERVER(server)                                                                           \
    do {                                                                                                               \
        if (!(server).start()) {                                                                                       \
            const QByteArray reason                                                                                    \
                = ((server).kindName() + QLatin1String(" test server: ") + (server).errorString()).toLocal8Bit();      \
            TALVORI_SKIP_OR_FAIL(reason.constData());                                                                  \
        }                                                                                                              \
    } while (false)

#endif
