#ifndef TALVORI_BENCH_BENCHSERVER_H
#define TALVORI_BENCH_BENCHSERVER_H

#include "serverprocess.h"
#include "tempenvironment.h"
#include "testdatabaseserver.h"

#include <QString>

#include <memory>

class TestBus;

// One fresh server for one measurement: a new home, a new database (an SQLite file, or a private
// MariaDB or PostgreSQL server of its own) and the server process on the shared private bus,
// with the resource the benchmark logs in as already registered.
class BenchServer
{
public:
    // driver: "QSQLITE3", "QMYSQL" or "QPSQL".
    BenchServer(const QString &driver, TestBus &bus);
    ~BenchServer();

    bool start();
    QString errorString() const { return m_error; }

    QString socketPath() const;
    qint64 pid();
    QString dataHome() const { return m_environment.dataHome(); }

    static QByteArray resourceName() { return QByteArrayLiteral("bench"); }

private:
    bool fail(const QString &message);
    bool configureDatabase();
    bool registerResource();
    QString logTail() const;

    QString m_driver;
    TestBus &m_bus;
    std::unique_ptr<TestDatabaseServer> m_database;
    TempEnvironment m_environment;
    std::unique_ptr<ServerProcess> m_server;
    QString m_error;
};

#endif
