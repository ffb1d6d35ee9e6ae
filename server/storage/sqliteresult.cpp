#include "storage/sqliteresult.h"

#include "storage/isodatetime.h"
#include "storage/sqlitedriver.h"

#include <QDateTime>
#include <QSqlField>

#include <condition_variable>
#include <limits>
#include <mutex>

#include <sqlite3.h>

namespace {

// As Qt's own drivers bind it: a null byte array or string is SQL NULL, like an empty variant, so
// a column written with one reads back as NULL on every backend.
bool isNullValue(const QVariant &value)
{
    if (value.isNull())
        return true;
    switch (value.metaType().id()) {
    case QMetaType::QByteArray:
        return static_cast<const QByteArray *>(value.constData())->isNull();
    case QMetaType::QString:
        return static_cast<const QString *>(value.constData())->isNull();
    default:
        return false;
    }
}

// Set by SQLite when the connection that blocked us ends its transaction.
struct UnlockNotification {
    bool fired = false;
    std::mutex mutex;
    std::condition_variable condition;
};

void unlockNotifyCallback(void **arguments, int count)
{
    for (int i = 0; i < count; ++i) {
        auto *notification = static_cast<UnlockNotification *>(arguments[i]);
        std::lock_guard<std::mutex> lock(notification->mutex);
        notification->fired = true;
        notification->condition.notify_all();
    }
}

// Blocks until the lock that made the last call fail with SQLITE_LOCKED is released. Returns
// SQLITE_LOCKED at once when waiting would deadlock (SQLite detects that).
int waitForUnlockNotify(sqlite3 *db)
{
    UnlockNotification notification;
    const int rc = sqlite3_unlock_notify(db, unlockNotifyCallback, &notification);
    if (rc == SQLITE_OK) {
        std::unique_lock<std::mutex> lock(notification.mutex);
        notification.condition.wait(lock, [&notification] { return notification.fired; });
    }
    return rc;
}

bool isLocked(int rc)
{
    return (rc & 0xff) == SQLITE_LOCKED;
}

QMetaType columnType(sqlite3_stmt *statement, int column)
{
    const char *declared = sqlite3_column_decltype(statement, column);
    const QByteArray type = declared ? QByteArray(declared).toLower() : QByteArray();
    if (type.contains("int"))
        return QMetaType(QMetaType::LongLong);
    if (type.contains("blob"))
        return QMetaType(QMetaType::QByteArray);
    if (type.contains("real") || type.contains("floa") || type.contains("doub"))
        return QMetaType(QMetaType::Double);
    if (type.contains("bool"))
        return QMetaType(QMetaType::Bool);
    return QMetaType(QMetaType::QString);
}

} // namespace

int SqliteResult::blockingStep(sqlite3_stmt *statement)
{
    int rc;
    while (isLocked(rc = sqlite3_step(statement))) {
        if (waitForUnlockNotify(sqlite3_db_handle(statement)) != SQLITE_OK)
            break;
        sqlite3_reset(statement);
    }
    return rc;
}

int SqliteResult::blockingPrepare(sqlite3 *db, const QByteArray &sql, sqlite3_stmt **statement)
{
    int rc;
    while (isLocked(rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), statement, nullptr))) {
        if (waitForUnlockNotify(db) != SQLITE_OK)
            break;
    }
    return rc;
}

SqliteResult::SqliteResult(const SqliteDriver *driver)
    : QSqlResult(driver)
    , m_driver(const_cast<SqliteDriver *>(driver))
{
    m_driver->m_results.append(this);
}

SqliteResult::~SqliteResult()
{
    if (m_driver)
        m_driver->m_results.removeAll(this);
    finalize();
}

void SqliteResult::finalize()
{
    clearRows();
    if (m_statement) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
}

void SqliteResult::clearRows()
{
    m_rows.clear();
    m_firstCachedRow = 0;
    m_done = true;
}

void SqliteResult::setSqliteError(const QString &text, QSqlError::ErrorType type, int code)
{
    sqlite3 *db = m_driver ? m_driver->connection() : nullptr;
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    setLastError(QSqlError(text, message, type, QString::number(code)));
}

bool SqliteResult::reset(const QString &query)
{
    return prepare(query) && exec();
}

bool SqliteResult::prepare(const QString &query)
{
    finalize();
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    m_record = QSqlRecord();
    m_columnTypes.clear();
    m_prepareError = QSqlError();
    if (!m_driver || !m_driver->connection()) {
        m_prepareError = QSqlError(QStringLiteral("Unable to execute statement"), QStringLiteral("Driver not open"),
                                   QSqlError::StatementError);
        setLastError(m_prepareError);
        return false;
    }
    const int rc = blockingPrepare(m_driver->connection(), query.toUtf8(), &m_statement);
    if (rc != SQLITE_OK) {
        setSqliteError(QStringLiteral("Unable to execute statement"), QSqlError::StatementError, rc);
        m_prepareError = lastError();
        finalize();
        return false;
    }
    if (!m_statement) {
        // Text with nothing but whitespace or comments.
        m_prepareError = QSqlError(QStringLiteral("Unable to execute statement"), QStringLiteral("No query"),
                                   QSqlError::StatementError);
        setLastError(m_prepareError);
        return false;
    }
    const int columns = sqlite3_column_count(m_statement);
    for (int i = 0; i < columns; ++i) {
        QSqlField field(QString::fromUtf8(sqlite3_column_name(m_statement, i)), columnType(m_statement, i),
                        QString::fromUtf8(sqlite3_column_table_name(m_statement, i)));
        m_record.append(field);
        m_columnTypes.append(field.metaType());
    }
    return true;
}

bool SqliteResult::exec()
{
    if (!m_statement) {
        // QSqlQuery clears the error of a failed prepare() before calling exec(); say it again.
        setLastError(m_prepareError.isValid()
                         ? m_prepareError
                         : QSqlError(QStringLiteral("Unable to execute statement"),
                                     QStringLiteral("No statement prepared"), QSqlError::StatementError));
        return false;
    }
    clearRows();
    setLastError(QSqlError());
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);

    const QVariantList values = boundValues();
    if (values.size() != sqlite3_bind_parameter_count(m_statement)) {
        setLastError(QSqlError(QStringLiteral("Unable to bind parameters"), QStringLiteral("Parameter count mismatch"),
                               QSqlError::StatementError));
        return false;
    }
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &value = values.at(i);
        int rc = SQLITE_OK;
        if (isNullValue(value)) {
            rc = sqlite3_bind_null(m_statement, i + 1);
        } else {
            switch (value.metaType().id()) {
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                rc = sqlite3_bind_blob64(m_statement, i + 1, bytes.constData(), sqlite3_uint64(bytes.size()),
                                         SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Char:
            case QMetaType::SChar:
            case QMetaType::UChar:
                rc = sqlite3_bind_int64(m_statement, i + 1, value.toLongLong());
                break;
            case QMetaType::ULong:
            case QMetaType::ULongLong:
                // Beyond the signed range SQLite would wrap the value; text keeps it exact.
                if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max())) {
                    const QByteArray text = QByteArray::number(value.toULongLong());
                    rc = sqlite3_bind_text64(m_statement, i + 1, text.constData(), sqlite3_uint64(text.size()),
                                             SQLITE_TRANSIENT, SQLITE_UTF8);
                } else {
                    rc = sqlite3_bind_int64(m_statement, i + 1, value.toLongLong());
                }
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(m_statement, i + 1, value.toDouble());
                break;
            case QMetaType::QDateTime: {
                const QByteArray text = IsoDateTime::toText(value.toDateTime());
                rc = sqlite3_bind_text64(m_statement, i + 1, text.constData(), sqlite3_uint64(text.size()),
                                         SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            }
            default: {
                // The explicit length keeps NUL characters inside the text.
                const QByteArray text = value.toString().toUtf8();
                rc = sqlite3_bind_text64(m_statement, i + 1, text.constData(), sqlite3_uint64(text.size()),
                                         SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            }
            }
        }
        if (rc != SQLITE_OK) {
            setSqliteError(QStringLiteral("Unable to bind parameters"), QSqlError::StatementError, rc);
            return false;
        }
    }

    m_done = false;
    if (!stepRow() && lastError().isValid())
        return false;
    // sqlite3_changes() still holds the count of the last data-changing statement after a query.
    const bool changesData = sqlite3_column_count(m_statement) == 0;
    m_rowsAffected = changesData ? sqlite3_changes(m_driver->connection()) : 0;
    m_lastInsertId = changesData && m_rowsAffected > 0 ? sqlite3_last_insert_rowid(m_driver->connection()) : -1;
    setSelect(sqlite3_column_count(m_statement) > 0);
    setActive(true);
    return true;
}

bool SqliteResult::stepRow()
{
    if (m_done || !m_statement)
        return false;
    const int rc = blockingStep(m_statement);
    if (rc == SQLITE_DONE) {
        m_done = true;
        return false;
    }
    if (rc != SQLITE_ROW) {
        m_done = true;
        setSqliteError(QStringLiteral("Unable to fetch row"), QSqlError::StatementError, rc);
        sqlite3_reset(m_statement);
        return false;
    }
    const int columns = sqlite3_column_count(m_statement);
    // A forward-only result keeps just the current row, and the next one is read into its place.
    const bool reuse = isForwardOnly() && !m_rows.isEmpty();
    if (reuse)
        ++m_firstCachedRow;
    else
        m_rows.append(QVariantList());
    QVariantList &row = m_rows.last();
    row.resize(columns);
    for (int i = 0; i < columns; ++i) {
        switch (sqlite3_column_type(m_statement, i)) {
        case SQLITE_INTEGER:
            row[i] = QVariant(qint64(sqlite3_column_int64(m_statement, i)));
            break;
        case SQLITE_FLOAT:
            row[i] = QVariant(sqlite3_column_double(m_statement, i));
            break;
        case SQLITE_BLOB: {
            const void *data = sqlite3_column_blob(m_statement, i);
            row[i] = QVariant(QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(m_statement, i)));
            break;
        }
        case SQLITE_NULL:
            row[i] = QVariant(m_columnTypes.value(i));
            break;
        default: {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, i));
            row[i] = QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_statement, i)));
            break;
        }
        }
    }
    return true;
}

bool SqliteResult::fetch(int index)
{
    if (!isActive() || !isSelect() || index < 0 || index < m_firstCachedRow)
        return false;
    while (index >= m_firstCachedRow + m_rows.size()) {
        if (!stepRow())
            return false;
    }
    setAt(index);
    return true;
}

bool SqliteResult::fetchFirst()
{
    return fetch(0);
}

bool SqliteResult::fetchLast()
{
    if (!isActive() || !isSelect())
        return false;
    while (stepRow()) {
    }
    const int last = m_firstCachedRow + int(m_rows.size()) - 1;
    return last >= 0 && fetch(last);
}

const QVariantList *SqliteResult::currentRow() const
{
    const int row = at() - m_firstCachedRow;
    if (at() < 0 || row < 0 || row >= m_rows.size())
        return nullptr;
    return &m_rows.at(row);
}

QVariant SqliteResult::data(int index)
{
    const QVariantList *row = currentRow();
    if (!row || index < 0 || index >= row->size())
        return QVariant();
    return row->at(index);
}

bool SqliteResult::isNull(int index)
{
    const QVariantList *row = currentRow();
    return !row || index < 0 || index >= row->size() || row->at(index).isNull();
}

int SqliteResult::size()
{
    return -1;
}

int SqliteResult::numRowsAffected()
{
    return m_rowsAffected;
}

QVariant SqliteResult::lastInsertId() const
{
    return m_lastInsertId > 0 ? QVariant(m_lastInsertId) : QVariant();
}

QSqlRecord SqliteResult::record() const
{
    return isActive() || m_statement ? m_record : QSqlRecord();
}

void SqliteResult::detachFromResultSet()
{
    // Releases the statement's read lock while keeping it prepared for the next exec().
    if (m_statement)
        sqlite3_reset(m_statement);
    m_done = true;
}

QVariant SqliteResult::handle() const
{
    return QVariant::fromValue(static_cast<void *>(m_statement));
}
