#ifndef TALVORI_SQLITERESULT_H
#define TALVORI_SQLITERESULT_H

#include <QList>
#include <QSqlError>
#include <QPointer>
#include <QSqlRecord>
#include <QSqlResult>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;
class SqliteDriver;

// One statement of SqliteDriver. Rows are read on demand and kept, so a result can be scrolled
// back; a forward-only result keeps only the current row.
class SqliteResult : public QSqlResult
{
public:
    explicit SqliteResult(const SqliteDriver *driver);
    ~SqliteResult() override;

    // Drops the statement; used when the connection closes under a live result.
    void finalize();

    // sqlite3_step() and sqlite3_prepare_v2() that wait while another connection of a shared
    // cache holds a table lock, instead of failing with SQLITE_LOCKED.
    static int blockingStep(sqlite3_stmt *statement);
    static int blockingPrepare(sqlite3 *db, const QByteArray &sql, sqlite3_stmt **statement);

protected:
    QVariant data(int index) override;
    bool isNull(int index) override;
    bool reset(const QString &query) override;
    bool prepare(const QString &query) override;
    bool exec() override;
    bool fetch(int index) override;
    bool fetchFirst() override;
    bool fetchLast() override;
    int size() override;
    int numRowsAffected() override;
    QVariant lastInsertId() const override;
    QSqlRecord record() const override;
    void detachFromResultSet() override;
    QVariant handle() const override;

private:
    bool stepRow();
    void clearRows();
    void setSqliteError(const QString &text, QSqlError::ErrorType type, int code);
    const QVariantList *currentRow() const;

    QPointer<SqliteDriver> m_driver;
    sqlite3_stmt *m_statement = nullptr;
    QSqlRecord m_record;
    QList<QMetaType> m_columnTypes; // of m_record's fields, for the NULLs of each column
    QSqlError m_prepareError;
    QList<QVariantList> m_rows;
    int m_firstCachedRow = 0; // index of m_rows.first() in the result
    bool m_done = true;
    int m_rowsAffected = 0;
    qint64 m_lastInsertId = -1;
};

#endif
