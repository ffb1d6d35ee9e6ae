#include "benchserver.h"

#include "testbus.h"

#include <QFile>
#include <QSettings>

BenchServer::BenchServer(const QString &driver, TestBus &bus)
    : m_driver(driver)
    , m_bus(bus)
{
}

BenchServer::~BenchServer()
{
    // The server goes before its database server.
    if (m_server)
        m_server->stop();
    m_server.reset();
    m_database.reset();
}

bool BenchServer::fail(const QString &message)
{
    m_error = message;
    return false;
}

QString BenchServer::socketPath() const
{
    return m_server ? m_server->socketPath() : QString();
}

qint64 BenchServer::pid()
{
    return m_server ? m_server->process().processId() : -1;
}

QString BenchServer::logTail() const
{
    QFile log(m_environment.path() + QLatin1String("/server.log"));
    if (!log.open(QIODevice::ReadOnly))
        return QString();
    const qint64 size = log.size();
    log.seek(qMax<qint64>(0, size - 2000));
    return QString::fromLocal8Bit(log.readAll());
}

bool BenchServer::configureDatabase()
{
    m_environment.writeServerSettings(QStringLiteral("General"), QStringLiteral("Driver"), m_driver);
    if (m_driver == QLatin1String("QSQLITE3") || m_driver == QLatin1String("QSQLITE"))
        return true;
    if (m_driver == QLatin1String("QMYSQL"))
        m_database = std::make_unique<TestDatabaseServer>(TestDatabaseServer::MariaDb);
    else if (m_driver == QLatin1String("QPSQL"))
        m_database = std::make_unique<TestDatabaseServer>(TestDatabaseServer::PostgreSql);
    else
        return fail(QStringLiteral("unknown backend %1 (QSQLITE3, QMYSQL or QPSQL)").arg(m_driver));
    if (!m_database->start())
        return fail(m_database->kindName() + QLatin1String(" server: ") + m_database->errorString());
    QSettings settings(m_environment.serverSettingsFile(), QSettings::IniFormat);
    m_database->configureServer(settings);
    return true;
}

bool BenchServer::registerResource()
{
    const QString error = ServerProcess::addResource(QString::fromLatin1(resourceName()));
    return error.isEmpty() || fail(error);
}

bool BenchServer::start()
{
    if (!m_environment.isValid())
        return fail(QStringLiteral("no temporary directory"));
    m_bus.exportTo(m_environment);
    // Debug output off: it would only cost time, and the log is read only when something fails.
    m_environment.setVariable(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    if (!configureDatabase())
        return false;
    m_server = std::make_unique<ServerProcess>(m_environment);
    // Nothing reads the server's output while the benchmark runs, so a pipe could fill up and
    // stall the server; a file cannot.
    m_server->process().setStandardOutputFile(m_environment.path() + QLatin1String("/server.log"));
    if (!m_server->start({}, 120000))
        return fail(QLatin1String("the server did not start:\n") + logTail());
    return registerResource();
}
