#include "notificationmanager.h"

#include "common/busobject.h"
#include "common/tracer.h"
#include "notificationmanageradaptor.h"
#include "storage/datastore.h"
#include "storage/notificationcollector.h"

#include <xdgbasedirs.h>

#include <QDBusConnection>
#include <QSettings>

NotificationManager *NotificationManager::self()
{
    static NotificationManager *instance = new NotificationManager;
    return instance;
}

NotificationManager::NotificationManager()
{
    NotificationMessage::registerDBusTypes();

    const QSettings settings(XdgBaseDirs::talvoriServerConfigFile(XdgBaseDirs::ReadWrite), QSettings::IniFormat);
    m_timer.setInterval(settings.value(QStringLiteral("NotificationManager/Interval"), 50).toInt());
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &NotificationManager::emitPendingNotifications);

    new NotificationManagerAdaptor(this);
    BusObject::registerObject(QStringLiteral("/notifications"), this, QDBusConnection::ExportAdaptors);
    BusObject::registerObject(QStringLiteral("/notifications/debug"), this, QDBusConnection::ExportScriptableSlots);

    // Every data store created from now on, on any thread, reports through this manager; the main
    // thread's own store usually exists already (the server opens it first) and is connected here.
    DataStore::setCollectorRegistration([this](NotificationCollector *collector) { connectCollector(collector); });
    connectCollector(DataStore::self()->notificationCollector());
}

void NotificationManager::connectCollector(NotificationCollector *collector)
{
    connect(collector, &NotificationCollector::notify, this, &NotificationManager::slotNotify, Qt::UniqueConnection);
}

void NotificationManager::slotNotify(const NotificationMessage::List &msgs)
{
    for (const NotificationMessage &msg : msgs)
        m_notifications.append(msg);
    if (!m_timer.isActive())
        m_timer.start();
}

void NotificationManager::emitPendingNotifications()
{
    if (m_notifications.isEmpty())
        return;
    if (Tracer::self()->isActive()) {
        for (const NotificationMessage &msg : m_notifications.list())
            Tracer::self()->signal(QStringLiteral("NotificationManager::notify"), msg.toString());
    }
    Q_EMIT notify(m_notifications.take());
}
