#include "headerpreprocessor.h"

#include "agentcontroladaptor.h"
#include "messageheader.h"
#include "preprocessoradaptor.h"
#include "preprocessormanagerinterface.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDebug>
#include <QTimer>

namespace {

const QString ServerService = QStringLiteral("org.freedesktop.Talvori");
// How often the agent tries the server again while it is not there.
constexpr int ReconnectMs = 500;

} // namespace

HeaderPreprocessor::HeaderPreprocessor(const QString &id, const QList<HeaderRule> &rules)
    : m_id(id)
    , m_rules(rules)
    , m_connection(id)
    , m_manager(new OrgFreedesktopTalvoriPreprocessorManagerInterface(ServerService, QStringLiteral("/PreprocessorManager"),
                                                                      QDBusConnection::sessionBus(), this))
    , m_serverWatcher(ServerService, QDBusConnection::sessionBus(),
                      QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration)
{
    new PreprocessorAdaptor(this);
    new AgentControlAdaptor(this);
    m_reconnect.setInterval(ReconnectMs);
    m_reconnect.setSingleShot(true);
    connect(&m_reconnect, &QTimer::timeout, this, &HeaderPreprocessor::connectToServer);
    connect(&m_serverWatcher, &QDBusServiceWatcher::serviceRegistered, this, &HeaderPreprocessor::connectToServer);
    connect(&m_serverWatcher, &QDBusServiceWatcher::serviceUnregistered, this, &HeaderPreprocessor::serverLeft);
}

HeaderPreprocessor::~HeaderPreprocessor() = default;

bool HeaderPreprocessor::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCritical().noquote() << "talvori-header-preprocessor: no session bus:" << bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAdaptors)) {
        qCritical() << "talvori-header-preprocessor: cannot export /";
        return false;
    }
    // The server reaches the agent under both names; it connects to the first when the agent
    // registers, so both are owned before that.
    for (const QString &prefix : {QStringLiteral("org.freedesktop.Talvori.Preprocessor."),
                                  QStringLiteral("org.freedesktop.Talvori.Agent.")}) {
        if (!bus.registerService(prefix + m_id)) {
            qCritical().noquote() << "talvori-header-preprocessor: cannot own" << prefix + m_id << "(is another one running?)";
            return false;
        }
    }
    connectToServer();
    return true;
}

void HeaderPreprocessor::connectToServer()
{
    if (m_connection.isOpen())
        return;
    if (!m_connection.open()) {
        m_reconnect.start();
        return;
    }
    qInfo().noquote() << "talvori-header-preprocessor: registering as" << m_id;
    m_manager->registerInstance(m_id);
}

void HeaderPreprocessor::serverLeft()
{
    // The jobs were the old server's: a new one starts with every item visible and hands out its
    // own. The connection goes too; the agent registers again when the server is back.
    m_jobs.clear();
    m_connection.close();
}

void HeaderPreprocessor::beginProcessItem(qlonglong id, qlonglong collectionId, const QString &mimeType)
{
    Q_UNUSED(collectionId);
    m_jobs.append({id, mimeType});
    // The call returns at once; the work is done from the event loop, one item at a time.
    if (m_jobs.size() == 1)
        QTimer::singleShot(0, this, &HeaderPreprocessor::processNextJob);
}

void HeaderPreprocessor::processNextJob()
{
    if (m_jobs.isEmpty())
        return;
    const Job job = m_jobs.first();
    process(job);
    if (!m_jobs.isEmpty())
        m_jobs.removeFirst();
    if (!m_jobs.isEmpty())
        QTimer::singleShot(0, this, &HeaderPreprocessor::processNextJob);
}

void HeaderPreprocessor::process(const Job &job)
{
    QList<QByteArray> flags;
    if (job.mimeType.startsWith(QLatin1String("message/")) && flagsOf(job, &flags) && !flags.isEmpty()) {
        // Once more after a reconnect: the server may have been busy, or restarted in between.
        AgentConnection::Result result = m_connection.addFlags(job.id, flags);
        if (result == AgentConnection::Result::Failed && m_connection.open())
            result = m_connection.addFlags(job.id, flags);
        if (result == AgentConnection::Result::Failed)
            qWarning().noquote() << "talvori-header-preprocessor: could not flag item" << job.id;
    }
    // Reported in every case, gone or not: the chain waits for it.
    Q_EMIT itemProcessed(job.id);
}

bool HeaderPreprocessor::flagsOf(const Job &job, QList<QByteArray> *flags)
{
    QByteArray message;
    AgentConnection::Result result = m_connection.fetchMessage(job.id, &message);
    if (result == AgentConnection::Result::Failed && m_connection.open())
        result = m_connection.fetchMessage(job.id, &message);
    if (result == AgentConnection::Result::Failed)
        qWarning().noquote() << "talvori-header-preprocessor: could not read item" << job.id;
    if (result != AgentConnection::Result::Done)
        return false; // gone meanwhile, or unreadable: it goes on as it is
    *flags = HeaderRule::flagsFor(m_rules, MessageHeader(message));
    return true;
}

void HeaderPreprocessor::abort()
{
    // The job in progress (if any) has run to its end by the time this call is handled: what is
    // left are jobs not begun, which go on unchanged.
    const QList<Job> jobs = std::exchange(m_jobs, {});
    for (const Job &job : jobs)
        Q_EMIT itemProcessed(job.id);
}

void HeaderPreprocessor::cleanup()
{
    quit();
}

void HeaderPreprocessor::configure(qlonglong windowId)
{
    Q_UNUSED(windowId); // configured by its command line only
}

void HeaderPreprocessor::quit()
{
    // Asked to stop for good: the server takes it out of the chain at once. A process that is just
    // killed (to be restarted, say) keeps its place for a while instead.
    m_manager->unregisterInstance(m_id);
    QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/"));
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void HeaderPreprocessor::reconfigure()
{
}
