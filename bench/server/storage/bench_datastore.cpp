// Items appended per second through DataStore::appendPimItem (one 1 KiB payload part per item),
// with one transaction per item and with 100 items per transaction, on every backend, next to a
// raw SQLite baseline that makes the same inserts directly through libsqlite3.
//
// bench_datastore [items]            runs everything and prints one line per figure
// bench_datastore --backend <name>   one backend only (QSQLITE, QSQLITE3, QMYSQL, QPSQL, raw-sqlite)
//
// Each backend runs in a child process because the configured backend is chosen once per process.

#include "storage/datastore.h"
#include "storage/dbconfig.h"
#include "storage/dbinitializer.h"
#include "storage/entities.h"
#include "storage/transaction.h"
#include "teststorage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>

#include <sqlite3.h>

#include <cstdio>

using namespace Talvori;

namespace {

const QByteArray payload(1024, 'p');

struct Figure
{
    QString mode;
    double itemsPerSecond;
};

// Appends count items through the data store, batch items per transaction.
double appendThroughDataStore(int count, int batch, const Collection &collection, const MimeType &mimeType)
{
    DataStore *store = DataStore::self();
    QElapsedTimer timer;
    timer.start();
    for (int first = 0; first < count; first += batch) {
        Transaction transaction(store);
        for (int i = first; i < first + batch && i < count; ++i) {
            Part part;
            part.setName(QStringLiteral("PLD:RFC822"));
            part.setData(payload);
            QList<Part> parts{part};
            PimItem item;
            if (!store->appendPimItem(parts, mimeType, collection, QDateTime(), QString::number(i), QString(), item)) {
                std::fprintf(stderr, "appendPimItem failed\n");
                return 0;
            }
        }
        if (!transaction.commit()) {
            std::fprintf(stderr, "commit failed\n");
            return 0;
        }
    }
    return count * 1000.0 / qMax<qint64>(1, timer.elapsed());
}

int runBackend(const QString &driver, int count)
{
    TestStorage storage(driver);
    if (!storage.prepare()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(driver), qPrintable(storage.errorString()));
        return 2;
    }

    Resource resource(QStringLiteral("bench"), false);
    Collection collection;
    collection.setName(QStringLiteral("bench"));
    if (!resource.insert() || (collection.setResourceId(resource.id()), !collection.insert())) {
        return 2;
    }
    const MimeType mimeType = MimeType::retrieveByName(QStringLiteral("message/rfc822"));

    const double single = appendThroughDataStore(count, 1, collection, mimeType);
    const double batched = appendThroughDataStore(count, 100, collection, mimeType);
    std::printf("%s 1 %.1f\n%s 100 %.1f\n", qPrintable(driver), single, qPrintable(driver), batched);
    DataStore::self()->close();
    return single > 0 && batched > 0 ? 0 : 1;
}

// The same rows as appendPimItem writes for a one-part item, straight through libsqlite3.
double rawSqlite(const QString &file, int count, int batch)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK) {
        return 0;
    }
    sqlite3_stmt *item = nullptr;
    sqlite3_stmt *part = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO PimItemTable (remoteId, remoteRevision, collectionId, mimeTypeId, atime, dirty) "
                       "VALUES (?, ?, 1, 2, ?, 0)",
                       -1, &item, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO PartTable (pimItemId, name, data, datasize, external) VALUES (?, ?, ?, ?, 0)",
                       -1, &part, nullptr);
    QElapsedTimer timer;
    timer.start();
    for (int first = 0; first < count; first += batch) {
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (int i = first; i < first + batch && i < count; ++i) {
            const QByteArray remoteId = QByteArray::number(i);
            const QByteArray now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
            sqlite3_bind_text(item, 1, remoteId.constData(), remoteId.size(), SQLITE_TRANSIENT);
            sqlite3_bind_text(item, 2, "", 0, SQLITE_STATIC);
            sqlite3_bind_text(item, 3, now.constData(), now.size(), SQLITE_TRANSIENT);
            sqlite3_step(item);
            sqlite3_reset(item);
            sqlite3_bind_int64(part, 1, sqlite3_last_insert_rowid(db));
            sqlite3_bind_text(part, 2, "PLD:RFC822", -1, SQLITE_STATIC);
            sqlite3_bind_blob(part, 3, payload.constData(), payload.size(), SQLITE_STATIC);
            sqlite3_bind_int64(part, 4, payload.size());
            sqlite3_step(part);
            sqlite3_reset(part);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    const double rate = count * 1000.0 / qMax<qint64>(1, timer.elapsed());
    sqlite3_finalize(item);
    sqlite3_finalize(part);
    sqlite3_close(db);
    return rate;
}

int runRawBaseline(int count)
{
    const TempEnvironment environment;
    const QString file = environment.path() + QLatin1String("/raw.db");
    {
        // The schema comes from the initializer, so both sides insert into identical tables.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw-schema"));
        db.setDatabaseName(file);
        if (!db.open() || !DbInitializer::createInstance(db, QStringLiteral(":talvoridb.xml"))->run()) {
            return 2;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw-schema"));
    std::printf("raw-sqlite 1 %.1f\nraw-sqlite 100 %.1f\n", rawSqlite(file, count, 1), rawSqlite(file, count, 100));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    qputenv("QT_LOGGING_RULES", "*.debug=false");

    int count = 2000;
    if (args.size() == 3 && args.at(1) == QLatin1String("--backend")) {
        return args.at(2) == QLatin1String("raw-sqlite") ? runRawBaseline(count) : runBackend(args.at(2), count);
    }
    if (args.size() == 4 && args.at(1) == QLatin1String("--backend")) {
        count = args.at(3).toInt();
        return args.at(2) == QLatin1String("raw-sqlite") ? runRawBaseline(count) : runBackend(args.at(2), count);
    }
    if (args.size() == 2) {
        count = qMax(100, args.at(1).toInt());
    }

    QHash<QString, double> rates;
    QStringList order;
    for (const char *backend : {"raw-sqlite", "QSQLITE", "QSQLITE3", "QMYSQL", "QPSQL"}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(app.applicationFilePath(), {QStringLiteral("--backend"), QLatin1String(backend), QString::number(count)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0) {
            std::printf("%-12s failed (exit code %d)\n", backend, child.exitCode());
            continue;
        }
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 3) {
                const QString key = QString::fromLatin1(fields.at(0) + ' ' + fields.at(1));
                rates.insert(key, fields.at(2).toDouble());
                order.append(key);
            }
        }
    }

    std::printf("items appended per second, %d items of one 1 KiB part each\n", count);
    // Said with the figures, since it decides how far apart the backends are.
    std::printf("SQLite syncs every commit (raw-sqlite and QSQLITE: rollback journal; QSQLITE3: our driver, WAL);\n"
                "the MariaDB and PostgreSQL test servers run without syncing commits to disk\n");
    std::printf("%-12s %-18s %12s %14s\n", "backend", "items/transaction", "items/s", "vs raw SQLite");
    for (const QString &key : std::as_const(order)) {
        const QString batch = key.section(QLatin1Char(' '), 1);
        const double raw = rates.value(QLatin1String("raw-sqlite ") + batch);
        std::printf("%-12s %-18s %12.1f %13.3fx\n", qPrintable(key.section(QLatin1Char(' '), 0, 0)), qPrintable(batch),
                    rates.value(key), raw > 0 ? rates.value(key) / raw : 0.0);
    }
    return 0;
}
