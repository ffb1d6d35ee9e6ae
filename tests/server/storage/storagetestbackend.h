#ifndef TALVORI_STORAGETESTBACKEND_H
#define TALVORI_STORAGETESTBACKEND_H

#include "testdatabaseserver.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// The database one storage test program runs against, chosen by TALVORI_TEST_BACKEND ("sqlite",
// the default, "sqlite3" for our own SQLite driver, "mariadb" or "postgresql"): a private XDG environment whose server settings point the
// configured backend at a fresh SQLite file or at a throwaway database server, so DataStore::self()
// opens it like the server does. One per test program, prepared in initTestCase() with
// TALVORI_PREPARE_STORAGE_BACKEND.
class StorageTestBackend
{
public:
    enum Kind { Sqlite, MariaDb, PostgreSql };

    StorageTestBackend();
    ~StorageTestBackend();

    // Sqlite for both SQLite drivers.
    Kind kind() const { return m_kind; }
    QString name() const;
    TestDatabaseServer *server() const { return m_server.get(); }
    // The directory that holds this program's XDG data and configuration homes and its SQLite
    // files; made by configure().
    QString path() const { return m_dir ? m_dir->path() : QString(); }

    // Writes the settings and reads them into the configured backend. Needs a running server.
    bool configure(QString *error);
    // A new connection to a new, empty database of the same backend (and SQLite driver), opened.
    QSqlDatabase createEmptyDatabase(const QString &name, QString *error);

private:
    Kind m_kind;
    QString m_sqliteDriver;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestDatabaseServer> m_server;
};

// Starts the database server when there is one (failing in CI, skipping elsewhere when it cannot
// start), configures the backend and creates the schema through the thread's data store.
#define TALVORI_PREPARE_STORAGE_BACKEND(backend)                                                                       \
    do {                                                                                                               \
        if ((backend).server())                                                                                        \
            TALVORI_START_TEST_DB_SERVER(*(backend).server());                                                        \
        QString prepareError;                                                                                          \
        QVERIFY2((backend).configure(&prepareError), qPrintable(prepareError));                                       \
        QVERIFY2(DataStore::self()->isOpened(), "the data store did not open its connection");                       \
        QVERIFY(DataStore::self()->init());                                                                            \
    } while (false)

#endif
