#include "testserver.h"

#include "testclient.h"

#include <QSettings>

namespace {

// A server on a busy machine, or one that creates its schema on a database server, may take a
// while; one that ends during start-up is noticed at once.
const int startTimeoutMs = 120000;

} // namespace

TestServer::TestServer(const QString &driver)
    : m_ownBus(std::make_unique<TestBus>())
    , m_bus(m_ownBus.get())
    , m_backend(driver)
    , m_process(m_environment)
{
}

TestServer::TestServer(TestBus &bus, const QString &driver)
    : m_bus(&bus)
    , m_backend(driver)
    , m_process(m_environment)
{
}

TestServer::~TestServer()
{
    stop();
}

bool TestServer::fail(const QString &message)
{
    m_error = message;
    return false;
}

QString TestServer::sqliteFile() const
{
    return m_environment.dataHome() + QLatin1String("/talvori/talvori.db");
}

bool TestServer::prepare()
{
    if (m_prepared)
        return true;
    if (!m_environment.isValid())
        return fail(QStringLiteral("no temporary directory"));
    if (m_ownBus && !m_ownBus->start(m_environment.path()))
        return fail(QStringLiteral("no private session bus (dbus-daemon)"));
    m_bus->exportTo(m_environment);
    if (!m_backend.start())
        return fail(m_backend.errorString());
    QSettings settings(m_environment.serverSettingsFile(), QSettings::IniFormat);
    m_backend.configure(settings, sqliteFile());
    m_prepared = true;
    return true;
}

bool TestServer::start(const QStringList &resources, const QStringList &arguments)
{
    if (!prepare())
        return false;
    m_ready = false;
    if (!m_process.start(arguments, startTimeoutMs)) {
        if (m_process.process().error() == QProcess::FailedToStart)
            return fail(QLatin1String("cannot run the server: ") + m_process.process().errorString());
        // A server that is still trying is stopped here, so that its output is reported once, below.
        m_process.process().kill();
        m_process.process().waitForFinished(5000);
        // The end of the output says why; the error log holds what the server found fatal.
        return fail(QLatin1String("the server did not start (") + m_backend.driver() + QLatin1String("):\n")
                    + QString::fromLocal8Bit(m_process.output().right(6000))
                    + QString::fromLocal8Bit(m_process.errorLog()));
    }
    m_ready = true;
    for (const QString &resource : resources) {
        if (!addResource(resource))
            return false;
    }
    return true;
}

int TestServer::stop(int timeoutMs)
{
    const int exitCode = m_process.stop(timeoutMs);
    return m_ready ? exitCode : 0;
}

bool TestServer::addResource(const QString &name)
{
    const QString error = ServerProcess::addResource(name);
    return error.isEmpty() || fail(error + QLatin1String("\nserver output:\n") + QString::fromLocal8Bit(output().right(6000)));
}

bool TestServer::connect(TestClient &client) const
{
    return client.open(socketPath());
}

bool TestServer::login(TestClient &client, const QByteArray &session) const
{
    return connect(client) && client.login(session);
}

QSqlDatabase TestServer::addDatabaseConnection(const QString &connectionName) const
{
    return m_backend.addConnection(connectionName, sqliteFile());
}
