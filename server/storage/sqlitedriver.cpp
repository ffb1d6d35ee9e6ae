#include "storage/sqlitedriver.h"

#include "storage/sqliteresult.h"

#include <QSqlDatabase>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <mutex>

#include <sqlite3.h>

namespace {

QSqlError sqliteError(sqlite3 *db, const QString &text, QSqlError::ErrorType type)
{
    const int code = db ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    return QSqlError(text, message, type, QString::number(code));
}

} // namespace

SqliteDriver::SqliteDriver(QObject *parent)
    : QSqlDriver(parent)
{ }

SqliteDriver::~SqliteDriver()
{
    close();
}

void SqliteDriver::registerDriver()
{
    static std::once_flag once;
    std::call_once(
        once, [] { QSqlDatabase::registerSqlDriver(QStringLiteral("QSQLITE3"), new QSqlDriverCreator<SqliteDriver>); });
}

bool SqliteDriver::hasFeature(DriverFeature feature) const
{
    switch (feature) {
    case Transactions:
    case BLOB:
    case Unicode:
    case PreparedQueries:
    case PositionalPlaceholders:
    case LastInsertId:
    case SimpleLocking:
    case FinishQuery:
    case LowPrecisionNumbers:
        return true;
    default:
        return false;
    }
}

bool SqliteDriver::open(const QString &db, const QString &, const QString &, const QString &, int,
                        const QString &connectOptions)
{
    if (isOpen())
        close();

    int busyTimeout = 60000;
    // In WAL mode NORMAL never corrupts the database and keeps every commit across a crash of the
    // server; only an operating-system crash or power loss can take back the last commits. FULL
    // also survives those, at the price of a disk flush per commit.
    QString synchronous = QStringLiteral("NORMAL");
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const QStringList options = connectOptions.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &rawOption : options) {
        const QString option = rawOption.trimmed();
        if (option.startsWith(QLatin1String("QSQLITE_BUSY_TIMEOUT="))) {
            bool ok = false;
            const int value = option.mid(option.indexOf(QLatin1Char('=')) + 1).toInt(&ok);
            if (ok && value >= 0)
                busyTimeout = value;
        } else if (option.startsWith(QLatin1String("QSQLITE_SYNCHRONOUS="))) {
            const QString value = option.mid(option.indexOf(QLatin1Char('=')) + 1).toUpper();
            if (value == QLatin1String("NORMAL") || value == QLatin1String("FULL") || value == QLatin1String("EXTRA"))
                synchronous = value;
        } else if (option == QLatin1String("QSQLITE_ENABLE_SHARED_CACHE")) {
            flags |= SQLITE_OPEN_SHAREDCACHE;
        } else if (option == QLatin1String("QSQLITE_OPEN_READONLY")) {
            flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
        }
    }

    const int rc = sqlite3_open_v2(db.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        setLastError(sqliteError(m_db, tr("Error opening database"), QSqlError::ConnectionError));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        setOpenError(true);
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busyTimeout);
    // WAL lets readers go on while one connection writes; a read-only open cannot switch modes.
    if (!(flags & SQLITE_OPEN_READONLY)
        && (!execute(QStringLiteral("PRAGMA journal_mode=WAL"), QSqlError::ConnectionError)
            || !execute(QStringLiteral("PRAGMA synchronous=") + synchronous, QSqlError::ConnectionError))) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        setOpenError(true);
        return false;
    }
    setOpen(true);
    setOpenError(false);
    return true;
}

void SqliteDriver::close()
{
    if (!m_db)
        return;
    for (SqliteResult *result : std::as_const(m_results))
        result->finalize();
    m_results.clear();
    for (sqlite3_stmt **kept : {&m_begin, &m_commit, &m_rollback}) {
        sqlite3_finalize(*kept);
        *kept = nullptr;
    }
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    setOpen(false);
    setOpenError(false);
}

QSqlResult *SqliteDriver::createResult() const
{
    return new SqliteResult(this);
}

bool SqliteDriver::execute(const QString &statement, QSqlError::ErrorType errorType)
{
    sqlite3_stmt *stmt = nullptr;
    int rc = SqliteResult::blockingPrepare(m_db, statement.toUtf8(), &stmt);
    if (rc == SQLITE_OK) {
        do {
            rc = SqliteResult::blockingStep(stmt);
        } while (rc == SQLITE_ROW);
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK)
        setLastError(sqliteError(m_db, statement, errorType));
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK;
}

bool SqliteDriver::executeKept(sqlite3_stmt *&statement, const char *text, QSqlError::ErrorType errorType)
{
    int rc = SQLITE_OK;
    if (!statement)
        rc = SqliteResult::blockingPrepare(m_db, QByteArray::fromRawData(text, qstrlen(text)), &statement);
    if (rc == SQLITE_OK) {
        rc = SqliteResult::blockingStep(statement);
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK)
        setLastError(sqliteError(m_db, QString::fromLatin1(text), errorType));
    // Ready for the next transaction; after a failure it is prepared afresh next time.
    if (statement) {
        sqlite3_reset(statement);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(statement);
            statement = nullptr;
        }
    }
    return rc == SQLITE_OK;
}

bool SqliteDriver::beginTransaction()
{
    // IMMEDIATE takes the write lock now, while waiting is still safe; a deferred transaction
    // that reads first and writes later fails at once when another connection wrote meanwhile.
    return isOpen() && executeKept(m_begin, "BEGIN IMMEDIATE", QSqlError::TransactionError);
}

bool SqliteDriver::commitTransaction()
{
    return isOpen() && executeKept(m_commit, "COMMIT", QSqlError::TransactionError);
}

bool SqliteDriver::rollbackTransaction()
{
    return isOpen() && executeKept(m_rollback, "ROLLBACK", QSqlError::TransactionError);
}

QStringList SqliteDriver::tables(QSql::TableType type) const
{
    QStringList result;
    if (!isOpen())
        return result;
    QStringList kinds;
    if (type & QSql::Tables)
        kinds << QStringLiteral("'table'");
    if (type & QSql::Views)
        kinds << QStringLiteral("'view'");
    if (!kinds.isEmpty()) {
        QSqlQuery query(createResult());
        query.setForwardOnly(true);
        if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN (%1) AND name NOT LIKE 'sqlite_%'")
                           .arg(kinds.join(QLatin1Char(','))))) {
            while (query.next())
                result.append(query.value(0).toString());
        }
    }
    if (type & QSql::SystemTables)
        result.append(QStringLiteral("sqlite_master"));
    return result;
}

QSqlRecord SqliteDriver::record(const QString &tableName) const
{
    QSqlRecord record;
    if (!isOpen())
        return record;
    QSqlQuery query(createResult());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(escapeIdentifier(tableName, TableName))))
        return record;
    while (query.next()) {
        const QString declared = query.value(2).toString().toLower();
        QMetaType type(QMetaType::QString);
        if (declared.contains(QLatin1String("int")))
            type = QMetaType(QMetaType::LongLong);
        else if (declared.contains(QLatin1String("blob")))
            type = QMetaType(QMetaType::QByteArray);
        else if (declared.contains(QLatin1String("real")) || declared.contains(QLatin1String("floa"))
                 || declared.contains(QLatin1String("doub")))
            type = QMetaType(QMetaType::Double);
        QSqlField field(query.value(1).toString(), type, tableName);
        field.setRequired(query.value(3).toInt() != 0);
        field.setDefaultValue(query.value(4));
        record.append(field);
    }
    return record;
}

QString SqliteDriver::escapeIdentifier(const QString &identifier, IdentifierType) const
{
    if (identifier.size() >= 2 && identifier.startsWith(QLatin1Char('"')) && identifier.endsWith(QLatin1Char('"')))
        return identifier;
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QVariant SqliteDriver::handle() const
{
    return QVariant::fromValue(static_cast<void *>(m_db));
}
