// A stand-in for the server's start and shut-down of its database: chooses the backend from the
// settings, lets it start its server or not, writes and counts one row, stops the server. The
// private server tests run it as a separate process because a failed start ends the process,
// and as an unprivileged account when the tests run as root.
#include "common/log.h"
#include "storage/dbconfig.h"

#include <xdgbasedirs.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    initLogging(QStringLiteral("dbconfigrunner"));
    QTextStream out(stdout);

    QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    DbConfig *config = DbConfig::configuredDatabase();
    config->init(settings);

    QElapsedTimer timer;
    if (config->useInternalServer()) {
        XdgBaseDirs::saveDir("data", QStringLiteral("talvori"));
        XdgBaseDirs::saveDir("data", QStringLiteral("talvori/file_db_data"));
        timer.start();
        config->startInternalServer();
        out << "start-ms " << timer.elapsed() << Qt::endl;
    }

    int result = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(config->driverName(), QStringLiteral("runner"));
        config->apply(db);
        QSqlQuery query(db);
        if (!db.open()) {
            out << "open failed: " << db.lastError().text() << Qt::endl;
            result = 2;
        } else if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS runs (n INTEGER)"))
                   || !query.exec(QStringLiteral("INSERT INTO runs (n) VALUES (1)"))
                   || !query.exec(QStringLiteral("SELECT COUNT(*) FROM runs")) || !query.next()) {
            out << "query failed: " << query.lastError().text() << Qt::endl;
            result = 3;
        } else {
            out << "runs " << query.value(0).toInt() << Qt::endl;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("runner"));

    timer.start();
    config->stopInternalServer();
    if (config->useInternalServer())
        out << "stop-ms " << timer.elapsed() << Qt::endl;
    return result;
}
