#ifndef TALVORI_TRACER_H
#define TALVORI_TRACER_H

#include "common/tracerinterface.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

// Process-wide entry for tracing protocol traffic, signals, warnings and errors. It forwards each
// call to the active back-end: "null" (the default) traces nothing, "file" writes a trace file
// (FileTracer), any other name publishes each event on the bus (DBusTracer). The choice is kept as
// "Debug/Tracer" in the server settings, so it holds at the next start too. Calls come from every
// thread and are serialised here; the object itself lives on the main thread, at "/tracing".
class Tracer : public QObject, public TracerInterface
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Talvori.Tracer")
public:
    static Tracer *self();
    ~Tracer() override;

    // False while the null back-end is active, so callers can skip building texts nobody reads.
    bool isActive() const { return m_active.load(std::memory_order_relaxed); }

    // A traced text is cut to this many characters (bytes of UTF-8 for text()), with a note of
    // how much was cut: a protocol line may be far larger than a bus message can be.
    static constexpr qsizetype MaxTextLength = 64 * 1024;
    // The same for the first argument (a connection's identifier, a component or signal name).
    static constexpr qsizetype MaxNameLength = 1024;
    // The traced form of protocol bytes; only the part that is kept gets converted.
    static QString text(const QByteArray &utf8);

public Q_SLOTS:
    void beginConnection(const QString &identifier, const QString &msg) override;
    void endConnection(const QString &identifier, const QString &msg) override;
    void connectionInput(const QString &identifier, const QString &msg) override;
    void connectionOutput(const QString &identifier, const QString &msg) override;
    void signal(const QString &signalName, const QString &msg) override;
    void signal(const char *signalName, const QString &msg);
    void warning(const QString &componentName, const QString &msg) override;
    void error(const QString &componentName, const QString &msg) override;
    void error(const char *componentName, const QString &msg);

    // The back-end named in the settings ("null" when none is).
    QString currentTracer() const;
    // Switches to the back-end of that name and remembers the choice.
    void activateTracer(const QString &type);

private:
    Tracer();
    // Under m_mutex.
    void createBackend(const QString &type);
    static QString bounded(const QString &msg, qsizetype limit = MaxTextLength);

    mutable QMutex m_mutex; // guards m_backend and serialises the calls into it and the settings
    std::unique_ptr<TracerInterface> m_backend;
    std::atomic<bool> m_active = false;
};

#endif
