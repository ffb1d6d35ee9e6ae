#include "common/busobject.h"

#include "common/log.h"

#include <QDBusError>

bool BusObject::registerObject(const QString &path, QObject *object, QDBusConnection::RegisterOptions options)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.registerObject(path, object, options))
        return true;
    logError() << "Cannot register" << path << "on the session bus:"
               << (bus.isConnected() ? QStringLiteral("the path is taken") : bus.lastError().message());
    return false;
}
