#ifndef TALVORI_TRACERINTERFACE_H
#define TALVORI_TRACERINTERFACE_H

#include <QString>

// A destination for traced events: the start and end of client sessions, every line read and
// written, and signals, warnings and errors of the server's parts.
class TracerInterface
{
public:
    virtual ~TracerInterface() = default;
    virtual void beginConnection(const QString &identifier, const QString &msg) = 0;
    virtual void endConnection(const QString &identifier, const QString &msg) = 0;
    virtual void connectionInput(const QString &identifier, const QString &msg) = 0;
    virtual void connectionOutput(const QString &identifier, const QString &msg) = 0;
    virtual void signal(const QString &signalName, const QString &msg) = 0;
    virtual void warning(const QString &componentName, const QString &msg) = 0;
    virtual void error(const QString &componentName, const QString &msg) = 0;
};

#endif
