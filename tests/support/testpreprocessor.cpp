#include "testpreprocessor.h"

#include "testagentcontroladaptor.h"
#include "testpreprocessoradaptor.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QTest>

TestPreprocessor::TestPreprocessor(const QString &id, const QString &busAddress)
    : m_id(id)
    , m_address(busAddress)
{
    new PreprocessorAdaptor(this);
    new AgentControlAdaptor(this);
}

TestPreprocessor::~TestPreprocessor()
{
    leave();
}

qint64 TestPreprocessor::now()
{
    return QDeadlineTimer::current().deadline();
}

bool TestPreprocessor::join()
{
    leave();
    static int next = 0;
    m_connectionName = QStringLiteral("preprocessor-%1-%2").arg(m_id).arg(++next);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!bus.isConnected()) {
        qWarning() << "preprocessor" << m_id << "cannot connect to the bus:" << bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAdaptors)) {
        qWarning() << "preprocessor" << m_id << "cannot export /";
        return false;
    }
    for (const QString &prefix : {QStringLiteral("org.freedesktop.Talvori.Preprocessor."),
                                  QStringLiteral("org.freedesktop.Talvori.Agent.")}) {
        if (!bus.registerService(prefix + m_id)) {
            qWarning() << "preprocessor" << m_id << "cannot own" << prefix + m_id << bus.lastError().message();
            return false;
        }
    }
    return true;
}

void TestPreprocessor::leave()
{
    if (m_connectionName.isEmpty())
        return;
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connectionName.clear();
}

void TestPreprocessor::callManager(const QString &method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Talvori"),
                                                       QStringLiteral("/PreprocessorManager"),
                                                       QStringLiteral("org.freedesktop.Talvori.PreprocessorManager"), method);
    call << m_id;
    // The methods are no-reply: sent on the agent's own connection, after its names are owned.
    QDBusConnection(m_connectionName).send(call);
}

void TestPreprocessor::registerWithServer()
{
    callManager(QStringLiteral("registerInstance"));
}

void TestPreprocessor::unregisterFromServer()
{
    callManager(QStringLiteral("unregisterInstance"));
}

void TestPreprocessor::report(qint64 id)
{
    Q_EMIT itemProcessed(id);
}

QList<qint64> TestPreprocessor::jobIds() const
{
    QList<qint64> ids;
    for (const Job &job : jobs)
        ids.append(job.id);
    return ids;
}

bool TestPreprocessor::waitForJobs(qsizetype count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return jobs.size() >= count; }, timeoutMs);
}

void TestPreprocessor::beginProcessItem(qlonglong id, qlonglong collectionId, const QString &mimeType)
{
    jobs.append({id, collectionId, mimeType, now()});
    if (answerAtOnce)
        report(id);
}

void TestPreprocessor::abort()
{
    aborts.append(now());
}
