#ifndef TALVORI_SQLITEDRIVER_H
#define TALVORI_SQLITEDRIVER_H

#include <QList>
#include <QSqlDriver>
#include <QSqlError>

struct sqlite3;
struct sqlite3_stmt;
class SqliteResult;

// The server's own SQLite driver, registered as "QSQLITE3". Unlike a plain driver it lets the
// connection threads of one process share a database file without "database is locked" errors:
// it journals in WAL mode (readers never wait for the writer), waits in a busy handler when
// another connection holds the write lock, opens write transactions with BEGIN IMMEDIATE (a
// deferred transaction that later wants to write can fail without ever waiting), and in shared
// cache mode waits on sqlite3_unlock_notify() for table locks.
//
// Connect options (";"-separated): QSQLITE_BUSY_TIMEOUT=<ms> (default 60000),
// QSQLITE_ENABLE_SHARED_CACHE, QSQLITE_OPEN_READONLY.
class SqliteDriver : public QSqlDriver
{
    Q_OBJECT
public:
    explicit SqliteDriver(QObject *parent = nullptr);
    ~SqliteDriver() override;

    // Registers the driver as "QSQLITE3" with QSqlDatabase; calling it again does nothing.
    static void registerDriver();

    bool hasFeature(DriverFeature feature) const override;
    bool open(const QString &db, const QString &user, const QString &password, const QString &host, int port,
              const QString &connectOptions) override;
    void close() override;
    QSqlResult *createResult() const override;
    bool beginTransaction() override;
    bool commitTransaction() override;
    bool rollbackTransaction() override;
    QStringList tables(QSql::TableType type) const override;
    QSqlRecord record(const QString &tableName) const override;
    QString escapeIdentifier(const QString &identifier, IdentifierType type) const override;
    QVariant handle() const override;

    sqlite3 *connection() const { return m_db; }

private:
    friend class SqliteResult;
    bool execute(const QString &statement, QSqlError::ErrorType errorType);
    // The same for the statements every transaction runs, prepared once per connection.
    bool executeKept(sqlite3_stmt *&statement, const char *text, QSqlError::ErrorType errorType);

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_begin = nullptr;
    sqlite3_stmt *m_commit = nullptr;
    sqlite3_stmt *m_rollback = nullptr;
    // Results created on this connection; their statements are finalised before it closes.
    mutable QList<SqliteResult *> m_results;
};

#endif
