#ifndef TALVORI_TESTSTORAGE_H
#define TALVORI_TESTSTORAGE_H

#include "tempenvironment.h"
#include "testbackend.h"

#include <QString>

// The server's storage layer in this process, on a TestBackend: a temporary home whose server
// settings point at the backend, the configured database read from them and the schema created
// through this thread's DataStore, as the server does when it starts. One per test program:
//
//     TestStorage m_storage;                    // TALVORI_TEST_BACKEND picks the database
//     void initTestCase() { TALVORI_VERIFY_STARTED(m_storage, m_storage.prepare()); ... }
//     ... DataStore::self() ...
class TestStorage
{
public:
    explicit TestStorage(const QString &driver = TestBackend::fromEnvironment());

    // Starts the database server, writes the settings and opens the data store. False with
    // errorString() (and databaseUnavailable() when the database server is missing).
    bool prepare();
    QString errorString() const { return m_error; }
    bool databaseUnavailable() const { return m_backend.databaseUnavailable(); }

    TestBackend &backend() { return m_backend; }
    TempEnvironment &environment() { return m_environment; }
    // A new, empty database beside the one the data store uses, opened; *error says why when not.
    QSqlDatabase createEmptyDatabase(const QString &name, QString *error);

    // Reads the server settings of this process's home into the configured backend, then opens
    // and initialises this thread's data store. For a program that fills a server's database
    // before the server starts (TestServer::prepare() has written the settings). False with *error.
    static bool openDataStore(QString *error);

private:
    bool fail(const QString &message);

    TempEnvironment m_environment;
    TestBackend m_backend;
    QString m_error;
};

#endif
