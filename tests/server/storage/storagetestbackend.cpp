#include "storagetestbackend.h"

#include "storage/dbconfig.h"

#include <xdgbasedirs.h>

#include <QFile>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>

StorageTestBackend::StorageTestBackend()
{
    const QString wanted = qEnvironmentVariable("TALVORI_TEST_BACKEND");
    if (wanted == QLatin1String("mariadb")) {
        m_kind = MariaDb;
        m_server = std::make_unique<TestDatabaseServer>(TestDatabaseServer::MariaDb);
    } else if (wanted == QLatin1String("postgresql")) {
        m_kind = PostgreSql;
        m_server = std::make_unique<TestDatabaseServer>(TestDatabaseServer::PostgreSql);
    } else {
        m_kind = Sqlite;
        m_sqliteDriver = wanted == QLatin1String("sqlite3") ? QStringLiteral("QSQLITE3") : QStringLiteral("QSQLITE");
    }
}

StorageTestBackend::~StorageTestBackend() = default;

QString StorageTestBackend::name() const
{
    switch (m_kind) {
    case MariaDb:
        return QStringLiteral("mariadb");
    case PostgreSql:
        return QStringLiteral("postgresql");
    case Sqlite:
        break;
    }
    return m_sqliteDriver == QLatin1String("QSQLITE3") ? QStringLiteral("sqlite3") : QStringLiteral("sqlite");
}

bool StorageTestBackend::configure(QString *error)
{
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        *error = QStringLiteral("no temporary directory");
        return false;
    }
    // The server settings, payload files and SQLite files of this program live here only.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("config"))));
    QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    if (m_kind == Sqlite) {
        settings.setValue(QStringLiteral("General/Driver"), m_sqliteDriver);
        settings.setValue(m_sqliteDriver + QLatin1String("/Name"), m_dir->path() + QLatin1String("/talvori.db"));
    } else {
        m_server->configureServer(settings);
    }
    settings.sync();

    DbConfig *config = DbConfig::configuredDatabase();
    if (!config->init(settings)) {
        *error = QStringLiteral("the backend did not accept its settings");
        return false;
    }
    return true;
}

QSqlDatabase StorageTestBackend::createEmptyDatabase(const QString &name, QString *error)
{
    const QString connectionName = QLatin1String("empty-") + name;
    if (m_kind == Sqlite) {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_sqliteDriver, connectionName);
        db.setDatabaseName(m_dir->path() + QLatin1Char('/') + name + QLatin1String(".db"));
        if (!db.open()) {
            *error = db.lastError().text();
        }
        return db;
    }

    {
        QSqlDatabase admin = m_server->addConnection(QLatin1String("admin-") + name);
        if (!admin.open()) {
            *error = admin.lastError().text();
            return QSqlDatabase();
        }
        QSqlQuery query(admin);
        if (!query.exec(QLatin1String("CREATE DATABASE ") + name)) {
            *error = query.lastError().text();
            return QSqlDatabase();
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String("admin-") + name);

    QSqlDatabase db = m_server->addConnection(connectionName);
    db.setDatabaseName(name);
    if (!db.open()) {
        *error = db.lastError().text();
    }
    return db;
}
