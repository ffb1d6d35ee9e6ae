#include "preprocessorinstance.h"

#include "common/log.h"
#include "common/tracer.h"
#include "services/agentcontrolinterface.h"
#include "services/agentmanagerinterface.h"
#include "services/preprocessorinterface.h"
#include "services/preprocessormanager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

using namespace Talvori;

namespace {

const QString Component = QStringLiteral("PreprocessorInstance");

// A call that could not even be sent has failed already when it returns.
bool wentOut(const QDBusPendingCall &call)
{
    return !(call.isFinished() && call.isError());
}

// A proxy is invalid when no process owns its service, and then it often has no error to tell.
QString whyUnreachable(const QDBusAbstractInterface &proxy)
{
    const QString message = proxy.lastError().message();
    return message.isEmpty() ? QStringLiteral("%1 is not on the bus").arg(proxy.service()) : message;
}

} // namespace

PreprocessorInstance::PreprocessorInstance(const QString &id, PreprocessorManager *manager)
    : m_id(id)
    , m_manager(manager)
{
}

PreprocessorInstance::~PreprocessorInstance() = default;

QString PreprocessorInstance::serviceName() const
{
    return QLatin1String("org.freedesktop.Talvori.Preprocessor.") + m_id;
}

void PreprocessorInstance::enqueueItem(qint64 itemId, const PreprocessorChainLock &)
{
    logDebug().nospace().noquote() << "PreprocessorInstance::enqueueItem(" << itemId << ")";
    m_queue.append(itemId);
}

bool PreprocessorInstance::startHeadItem(qint64 *itemId, const PreprocessorChainLock &)
{
    if (m_busy || m_queue.isEmpty())
        return false;
    m_busy = true;
    m_processingStart.start();
    *itemId = m_queue.first();
    return true;
}

qint64 PreprocessorInstance::takeHeadItem(const PreprocessorChainLock &)
{
    m_busy = false;
    return m_queue.takeFirst();
}

QList<qint64> PreprocessorInstance::takeAllItems(const PreprocessorChainLock &)
{
    m_busy = false;
    return std::exchange(m_queue, {});
}

void PreprocessorInstance::resendHeadItem(const PreprocessorChainLock &)
{
    m_busy = false;
}

double PreprocessorInstance::processingSeconds(const PreprocessorChainLock &) const
{
    return m_busy ? m_processingStart.elapsed() / 1000.0 : -1;
}

QString PreprocessorInstance::currentOwner(const QString &service)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus ? bus->serviceOwner(service).value() : QString();
}

bool PreprocessorInstance::connectToAgent()
{
    auto agent = std::make_unique<OrgFreedesktopTalvoriPreprocessorInterface>(serviceName(), QStringLiteral("/"),
                                                                              QDBusConnection::sessionBus());
    if (!agent->isValid()) {
        Tracer::self()->warning(Component, QStringLiteral("Could not connect to pre-processor instance '%1': %2")
                                               .arg(m_id, whyUnreachable(*agent)));
        return false;
    }
    connect(agent.get(), &OrgFreedesktopTalvoriPreprocessorInterface::itemProcessed, this,
            &PreprocessorInstance::itemProcessed);
    m_agent = std::move(agent);
    m_agentOwner = currentOwner(serviceName());
    m_awaySince.invalidate();
    return true;
}

bool PreprocessorInstance::isSameAgent() const
{
    return m_agent && !m_awaySince.isValid() && currentOwner(serviceName()) == m_agentOwner;
}

void PreprocessorInstance::setAway()
{
    if (!m_awaySince.isValid())
        m_awaySince.start();
}

double PreprocessorInstance::awaySeconds() const
{
    return m_awaySince.isValid() ? m_awaySince.elapsed() / 1000.0 : -1;
}

void PreprocessorInstance::beginProcessItem(const PimItem &item)
{
    if (m_agent)
        m_agent->beginProcessItem(item.id(), item.collectionId(), item.mimeType().name());
}

bool PreprocessorInstance::abortJob()
{
    OrgFreedesktopTalvoriAgentControlInterface control(QLatin1String("org.freedesktop.Talvori.Agent.") + m_id,
                                                       QStringLiteral("/"), QDBusConnection::sessionBus());
    if (!control.isValid()) {
        Tracer::self()->warning(Component, QStringLiteral("Could not connect to pre-processor instance '%1': %2")
                                               .arg(m_id, whyUnreachable(control)));
        return false;
    }
    return wentOut(control.abort());
}

bool PreprocessorInstance::requestRestart()
{
    // The agent manager belongs to the control process, which starts and restarts the agents.
    OrgFreedesktopTalvoriAgentManagerInterface manager(QStringLiteral("org.freedesktop.Talvori.Control"),
                                                       QStringLiteral("/AgentManager"), QDBusConnection::sessionBus());
    if (!manager.isValid()) {
        Tracer::self()->warning(
            Component, QStringLiteral("Could not connect to the AgentManager in order to restart pre-processor instance '%1': %2")
                           .arg(m_id, whyUnreachable(manager)));
        return false;
    }
    return wentOut(manager.restartAgentInstance(m_id));
}

void PreprocessorInstance::itemProcessed(qlonglong id)
{
    m_manager->itemProcessed(this, id);
}
