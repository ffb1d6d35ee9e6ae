#ifndef TALVORI_TESTBACKEND_H
#define TALVORI_TESTBACKEND_H

#include "testdatabaseserver.h"

#include <QSettings>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <memory>

// The database a test program or a benchmark runs on, named as "General/Driver" names it in the
// server settings: "QSQLITE" (Qt's SQLite driver) and "QSQLITE3" (the server's own) use a file,
// "QMYSQL" and "QPSQL" a throwaway MariaDB or PostgreSQL server (TestDatabaseServer). Tests take
// the name from TALVORI_TEST_BACKEND; benchmarks pass their own.
//
// The fixtures TestStorage (the storage layer in this process) and TestServer (the server process)
// are built on it; a test uses one of them rather than this class alone.
class TestBackend
{
public:
    // Every driver name a backend can have.
    static QStringList drivers();
    // TALVORI_TEST_BACKEND, or "QSQLITE3" when it is not set.
    static QString fromEnvironment();

    explicit TestBackend(const QString &driver = fromEnvironment());
    ~TestBackend();
    TestBackend(const TestBackend &) = delete;
    TestBackend &operator=(const TestBackend &) = delete;

    QString driver() const { return m_driver; }
    bool isSqlite() const;
    // The database server of QMYSQL and QPSQL; null for the SQLite drivers.
    TestDatabaseServer *server() const { return m_server.get(); }

    // Starts the database server when the backend has one. False with errorString() for a driver
    // name that is none of drivers(), or, with databaseUnavailable(), for a database server that
    // is not installed or does not come up.
    bool start();
    QString errorString() const { return m_error; }
    bool databaseUnavailable() const { return m_databaseUnavailable; }

    // Points the settings of a server (or of the storage layer in this process) at this backend:
    // "General/Driver" and the keys of the driver's group. sqliteFile is the SQLite drivers'
    // database file.
    void configure(QSettings &settings, const QString &sqliteFile) const;
    // A new, unopened connection to that database, for looking inside it beside the server. SQLite
    // goes through Qt's driver and waits up to 10 s for the server's locks.
    QSqlDatabase addConnection(const QString &connectionName, const QString &sqliteFile) const;
    // A new, empty database of the same backend (for SQLite a file in directory), opened; *error
    // says why when it is not.
    QSqlDatabase createEmptyDatabase(const QString &name, const QString &directory, QString *error) const;

private:
    QString m_driver;
    std::unique_ptr<TestDatabaseServer> m_server;
    QString m_error;
    bool m_databaseUnavailable = false;
};

// Ends the test function when started (a fixture's start() or prepare()) is false: skipped when
// only the database server is missing and database servers are not required, failed otherwise,
// with the fixture's errorString() as the reason. fixture is a TestBackend, TestStorage or
// TestServer.
#define TALVORI_VERIFY_STARTED(fixture, started)                                                                       \
    do {                                                                                                               \
        if (!(started)) {                                                                                              \
            const QByteArray startReason = (fixture).errorString().toLocal8Bit();                                      \
            if ((fixture).databaseUnavailable())                                                                       \
                TALVORI_SKIP_OR_FAIL(startReason.constData());                                                         \
            QFAIL(startReason.constData());                                                                            \
        }                                                                                                              \
    } while (false)

#endif
