#ifndef TALVORI_SERVERDATABASE_H
#define TALVORI_SERVERDATABASE_H

#include <QSqlDatabase>
#include <QString>

#include <memory>

class TempEnvironment;
class TestDatabaseServer;

// The database a server test runs on, picked by TALVORI_TEST_BACKEND: "mariadb" or "postgresql"
// (a throwaway server started here), SQLite through "QSQLITE3" otherwise. Writes the server
// settings that point the server at it, and gives the test its own connection to look inside.
class ServerDatabase
{
public:
    explicit ServerDatabase(const TempEnvironment &environment);
    ~ServerDatabase();

    // Call from initTestCase(). False when the database server cannot be started; the test is then
    // skipped, or failed where database servers are required (TestDatabaseServer::required()).
    bool start();
    // A new, unopened connection to the database the server uses.
    QSqlDatabase addConnection(const QString &connectionName) const;

private:
    const TempEnvironment &m_environment;
    std::unique_ptr<TestDatabaseServer> m_server;
};

#endif
