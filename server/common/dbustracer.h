#ifndef TALVORI_DBUSTRACER_H
#define TALVORI_DBUSTRACER_H

#include "common/tracerinterface.h"

#include <QObject>

// The back-end for a viewer on the session bus: every event becomes a signal of
// "org.freedesktop.Talvori.TracerNotification" at "/tracing/notifications", which exists only
// while this back-end is active.
class DBusTracer : public QObject, public TracerInterface
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Talvori.TracerNotification")
public:
    DBusTracer();
    ~DBusTracer() override;

    void beginConnection(const QString &identifier, const QString &msg) override;
    void endConnection(const QString &identifier, const QString &msg) override;
    void connectionInput(const QString &identifier, const QString &msg) override;
    void connectionOutput(const QString &identifier, const QString &msg) override;
    void signal(const QString &signalName, const QString &msg) override;
    void warning(const QString &componentName, const QString &msg) override;
    void error(const QString &componentName, const QString &msg) override;

Q_SIGNALS:
    void connectionStarted(const QString &identifier, const QString &msg);
    void connectionEnded(const QString &identifier, const QString &msg);
    void connectionDataInput(const QString &identifier, const QString &msg);
    void connectionDataOutput(const QString &identifier, const QString &msg);
    void signalEmitted(const QString &signalName, const QString &msg);
    void warningEmitted(const QString &componentName, const QString &msg);
    void errorEmitted(const QString &componentName, const QString &msg);
};

#endif
