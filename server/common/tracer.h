#ifndef TALVORI_TRACER_H
#define TALVORI_TRACER_H

#include <QMutex>
#include <QString>

#include <atomic>

class TracerInterface;

// Process-wide entry for tracing protocol traffic, signals, warnings and errors. It forwards each
// call to the active back-end; with none (the default) every call does nothing. Calls come from
// every thread and are serialised here.
class Tracer
{
public:
    static Tracer *self();

    void beginConnection(const QString &identifier, const QString &msg);
    void endConnection(const QString &identifier, const QString &msg);
    void connectionInput(const QString &identifier, const QString &msg);
    void connectionOutput(const QString &identifier, const QString &msg);
    void signal(const QString &signalName, const QString &msg);
    void warning(const QString &componentName, const QString &msg);
    void error(const QString &componentName, const QString &msg);

    // Takes ownership of the back-end; null switches tracing off.
    void setBackend(TracerInterface *backend);
    // False while no back-end is set, so callers can skip building texts nobody reads.
    bool isActive() const { return m_active.load(std::memory_order_relaxed); }

private:
    Tracer() = default;

    QMutex m_mutex; // guards m_backend and serialises the calls into it
    TracerInterface *m_backend = nullptr;
    std::atomic<bool> m_active = false;
};

// A destination for traced events.
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
