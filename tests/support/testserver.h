#ifndef TALVORI_TESTSERVER_H
#define TALVORI_TESTSERVER_H

#include "serverprocess.h"
#include "tempenvironment.h"
#include "testbackend.h"
#include "testbus.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>

class TestClient;

// The whole server for one test program or one benchmark measurement: a temporary home, a private
// session bus, the database of a TestBackend, the talvoriserver process and the resources it
// knows. Anything that keeps it from running ends up in errorString(), with the server's output.
//
//     TestServer m_server;                      // TALVORI_TEST_BACKEND picks the database
//     TestClient m_client;
//     void initTestCase()
//     {
//         TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
//         QVERIFY(m_server.login(m_client, "res1"));
//     }
//     void cleanupTestCase() { QCOMPARE(m_server.stop(), 0); }
class TestServer
{
public:
    explicit TestServer(const QString &driver = TestBackend::fromEnvironment());
    // Runs on bus, which outlives the server: a benchmark starts one server after another on one
    // bus, a test of the server's life a few servers side by side.
    explicit TestServer(TestBus &bus, const QString &driver = TestBackend::fromEnvironment());
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    // Starts the bus when it is the server's own and the database server when the backend has one,
    // and writes the server settings. start() calls it; call it first to work on the home or the
    // database before the server runs. False with errorString().
    bool prepare();
    // prepare() when that has not run, then starts the server with arguments, waits until it is
    // ready and registers resources. False with errorString().
    bool start(const QStringList &resources = QStringList(), const QStringList &arguments = QStringList());
    // SIGTERM, then waits at most timeoutMs; the exit code (-1 when it had to be killed). 0 when the
    // server never became ready: start() has said why, and a test's clean-up need not say it again.
    int stop(int timeoutMs = 20000);
    QString errorString() const { return m_error; }
    // True when the failure was a database server that is not there (see TALVORI_VERIFY_STARTED).
    bool databaseUnavailable() const { return m_backend.databaseUnavailable(); }

    // Registers a resource with the running server over the bus. False with errorString().
    bool addResource(const QString &name);
    // Connects client and reads the greeting.
    bool connect(TestClient &client) const;
    // connect(), then logs client in as session.
    bool login(TestClient &client, const QByteArray &session) const;

    QString socketPath() const { return m_process.socketPath(); }
    TempEnvironment &environment() { return m_environment; }
    const TempEnvironment &environment() const { return m_environment; }
    TestBus &bus() { return *m_bus; }
    TestBackend &backend() { return m_backend; }
    QProcess &process() { return m_process.process(); }
    // What the server wrote since it started, and its error log.
    QByteArray output() const { return m_process.output(); }
    QByteArray errorLog() const { return m_process.errorLog(); }
    // A new, unopened connection to the server's database, for looking inside it.
    QSqlDatabase addDatabaseConnection(const QString &connectionName) const;

private:
    bool fail(const QString &message);
    QString sqliteFile() const;

    // Declared in the order they start; the server process goes first on the way down.
    TempEnvironment m_environment;
    std::unique_ptr<TestBus> m_ownBus;
    TestBus *m_bus;
    TestBackend m_backend;
    ServerProcess m_process;
    bool m_prepared = false;
    bool m_ready = false;
    QString m_error;
};

#endif
