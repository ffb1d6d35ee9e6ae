#include "testbackend.h"

#include <QCoreApplication>

#include <QSqlError>
#include <QSqlQuery>

QStringList TestBackend::drivers()
{
    return {QStringLiteral("QSQLITE"), QStringLiteral("QSQLITE3"), QStringLiteral("QMYSQL"), QStringLiteral("QPSQL")};
}

QString TestBackend::fromEnvironment()
{
    const QString wanted = qEnvironmentVariable("TALVORI_TEST_BACKEND");
    if (!wanted.isEmpty())
        return wanted;
    // A program built for one backend (tst_x_qpsql) and run by hand keeps to it.
    const QString program = QCoreApplication::applicationName();
    for (const QString &driver : drivers()) {
        if (program.endsWith(QLatin1Char('_') + driver.toLower()))
            return driver;
    }
    return QStringLiteral("QSQLITE3");
}

TestBackend::TestBackend(const QString &driver)
    : m_driver(driver)
{
    if (driver == QLatin1String("QMYSQL"))
        m_server = std::make_unique<TestDatabaseServer>(TestDatabaseServer::MariaDb);
    else if (driver == QLatin1String("QPSQL"))
        m_server = std::make_unique<TestDatabaseServer>(TestDatabaseServer::PostgreSql);
}

TestBackend::~TestBackend() = default;

bool TestBackend::isSqlite() const
{
    return m_driver == QLatin1String("QSQLITE") || m_driver == QLatin1String("QSQLITE3");
}

bool TestBackend::start()
{
    m_error.clear();
    m_databaseUnavailable = false;
    if (!drivers().contains(m_driver)) {
        m_error = QStringLiteral("unknown backend \"%1\" (TALVORI_TEST_BACKEND names one of %2)")
                      .arg(m_driver, drivers().join(QLatin1String(", ")));
        return false;
    }
    if (m_server && !m_server->start()) {
        m_error = m_server->kindName() + QLatin1String(" test server: ") + m_server->errorString();
        m_databaseUnavailable = true;
        return false;
    }
    return true;
}

void TestBackend::configure(QSettings &settings, const QString &sqliteFile) const
{
    if (m_server) {
        m_server->configureServer(settings);
        return;
    }
    settings.setValue(QStringLiteral("General/Driver"), m_driver);
    settings.setValue(m_driver + QLatin1String("/Name"), sqliteFile);
}

QSqlDatabase TestBackend::addConnection(const QString &connectionName, const QString &sqliteFile) const
{
    if (m_server)
        return m_server->addConnection(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(sqliteFile);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    return db;
}

QSqlDatabase TestBackend::createEmptyDatabase(const QString &name, const QString &directory, QString *error) const
{
    const QString connectionName = QLatin1String("empty-") + name;
    if (!m_server) {
        // Through the backend's own driver, as the server would open it.
        QSqlDatabase db = QSqlDatabase::addDatabase(m_driver, connectionName);
        db.setDatabaseName(directory + QLatin1Char('/') + name + QLatin1String(".db"));
        if (!db.open())
            *error = db.lastError().text();
        return db;
    }

    const QString adminName = QLatin1String("admin-") + name;
    {
        QSqlDatabase admin = m_server->addConnection(adminName);
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
    QSqlDatabase::removeDatabase(adminName);

    QSqlDatabase db = m_server->addConnection(connectionName);
    db.setDatabaseName(name);
    if (!db.open())
        *error = db.lastError().text();
    return db;
}
