#include "syncrecorder.h"

#include <QDBusConnectionInterface>

SyncRecorder::SyncRecorder(const QString &busAddress, const QString &resource)
    : m_connectionName(QStringLiteral("sync-recorder-") + resource)
    , m_bus(QDBusConnection::connectToBus(busAddress, m_connectionName))
{
    m_clock.start();
    m_bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportScriptableSlots);
    m_bus.interface()->registerService(QStringLiteral("org.freedesktop.Talvori.Resource.") + resource);
}

SyncRecorder::~SyncRecorder()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QList<qint64> SyncRecorder::timesOf(qint64 collection) const
{
    QList<qint64> times;
    for (const Request &request : requests) {
        if (request.collection == collection)
            times.append(request.atMs);
    }
    return times;
}

void SyncRecorder::synchronizeCollection(qlonglong collectionId)
{
    requests.append({collectionId, m_clock.elapsed()});
}

void SyncRecorder::synchronizeCollectionTree()
{
    requests.append({-1, m_clock.elapsed()});
}
