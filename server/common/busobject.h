#ifndef TALVORI_BUSOBJECT_H
#define TALVORI_BUSOBJECT_H

#include <QDBusConnection>
#include <QString>

class QObject;

// Puts a server object on the session bus. A path that is taken, or a bus that is not there,
// leaves the object unreachable; that is logged rather than passed over in silence.
namespace BusObject {

bool registerObject(const QString &path, QObject *object, QDBusConnection::RegisterOptions options);

} // namespace BusObject

#endif
