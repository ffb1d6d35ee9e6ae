#include "common/dbustracer.h"

#include "common/busobject.h"
#include "tracernotificationadaptor.h"

namespace {
const QString Path = QStringLiteral("/tracing/notifications");
}

DBusTracer::DBusTracer()
{
    new TracerNotificationAdaptor(this);
    BusObject::registerObject(Path, this, QDBusConnection::ExportAdaptors);
}

DBusTracer::~DBusTracer()
{
    QDBusConnection::sessionBus().unregisterObject(Path);
}

void DBusTracer::beginConnection(const QString &identifier, const QString &msg)
{
    Q_EMIT connectionStarted(identifier, msg);
}

void DBusTracer::endConnection(const QString &identifier, const QString &msg)
{
    Q_EMIT connectionEnded(identifier, msg);
}

void DBusTracer::connectionInput(const QString &identifier, const QString &msg)
{
    Q_EMIT connectionDataInput(identifier, msg);
}

void DBusTracer::connectionOutput(const QString &identifier, const QString &msg)
{
    Q_EMIT connectionDataOutput(identifier, msg);
}

void DBusTracer::signal(const QString &signalName, const QString &msg)
{
    Q_EMIT signalEmitted(signalName, msg);
}

void DBusTracer::warning(const QString &componentName, const QString &msg)
{
    Q_EMIT warningEmitted(componentName, msg);
}

void DBusTracer::error(const QString &componentName, const QString &msg)
{
    Q_EMIT errorEmitted(componentName, msg);
}
