// Seconds a start takes to bring a database that version 8 left, with many items, up to today's
// schema (the initializer, then every pending update), on each backend. The database is built
// first (not timed) with the sample of the updater tests: per item two or three parts and one or
// two flags.
//
// bench_dbupgrade [items] [driver...]   items default 100000; drivers QSQLITE3, QSQLITE, QMYSQL,
//                                       QPSQL (default: QSQLITE3 QMYSQL QPSQL)

#include "storage/dbinitializer.h"
#include "storage/dbupdater.h"
#include "storage/sqlitedriver.h"

#include "legacydatabase.h"
#include "testbackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

qint64 count(const QSqlDatabase &db, const char *table)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

int runBackend(const QString &backend, int items)
{
    TestBackend database(backend);
    if (!database.start()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(backend), qPrintable(database.errorString()));
        return 2;
    }
    QTemporaryDir dir;
    const QString connectionName = QStringLiteral("empty-upgrade");
    int result = 0;
    {
        QString error;
        QSqlDatabase db = database.createEmptyDatabase(QStringLiteral("upgrade"), dir.path(), &error);
        if (!db.isOpen()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(backend), qPrintable(error));
            return 2;
        }

        QElapsedTimer timer;
        timer.start();
        LegacyDatabase::Options options;
        options.items = items;
        if (!LegacyDatabase::create(db, 8, options, &error)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(backend), qPrintable(error));
            return 2;
        }
        const double built = timer.elapsed() / 1000.0;
        const qint64 parts = count(db, "PartTable");

        timer.restart();
        const std::shared_ptr<DbInitializer> initializer
            = DbInitializer::createInstance(db, QStringLiteral(":talvoridb.xml"));
        const bool upgraded = initializer->run() && DbUpdater(db, QStringLiteral(":dbupdate.xml")).run();
        const double seconds = timer.elapsed() / 1000.0;

        QSqlQuery version(db);
        const bool atToday = version.exec(QStringLiteral("SELECT version FROM SchemaVersionTable")) && version.next()
            && version.value(0).toInt() == 19;
        const bool complete = count(db, "PimItemTable") == items && count(db, "PartTable") == parts;
        std::printf("%-10s upgrade from version 8, %d items, %lld parts: %.2f s (database built in %.1f s)\n",
                    qPrintable(backend), items, parts, seconds, built);
        std::fflush(stdout);
        if (!upgraded || !atToday || !complete) {
            std::fprintf(stderr, "%s: the upgrade did not complete\n", qPrintable(backend));
            result = 1;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return result;
}

// Keeps the per-statement debug lines of the initializer and updater off the figures.
void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietDebug);
    SqliteDriver::registerDriver();
    QStringList arguments = app.arguments().mid(1);
    int items = 100000;
    if (!arguments.isEmpty() && arguments.first().toInt() > 0)
        items = arguments.takeFirst().toInt();
    if (arguments.isEmpty())
        arguments = {QStringLiteral("QSQLITE3"), QStringLiteral("QMYSQL"), QStringLiteral("QPSQL")};
    int result = 0;
    for (const QString &backend : std::as_const(arguments))
        result = qMax(result, runBackend(backend, items));
    return result;
}
