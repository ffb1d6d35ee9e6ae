#include "services/debuginterface.h"

#include "common/busobject.h"
#include "common/tracer.h"
#include "debuginterfaceadaptor.h"

DebugInterface::DebugInterface(QObject *parent)
    : QObject(parent)
{
    new DebugInterfaceAdaptor(this);
    BusObject::registerObject(QStringLiteral("/debug"), this, QDBusConnection::ExportAdaptors);
}

QString DebugInterface::tracer() const
{
    return Tracer::self()->currentTracer();
}

void DebugInterface::setTracer(const QString &tracer)
{
    Tracer::self()->activateTracer(tracer);
}
