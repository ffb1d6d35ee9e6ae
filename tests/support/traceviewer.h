#ifndef TALVORI_TRACEVIEWER_H
#define TALVORI_TRACEVIEWER_H

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>

// Collects the server's TracerNotification signals (the "dbus" tracer back-end) on a bus
// connection of its own, as a trace viewer would.
class TraceViewer : public QObject
{
    Q_OBJECT
public:
    struct Event {
        QString kind; // the signal: "warningEmitted", "connectionDataInput", ...
        QString first;
        QString second;
    };

    explicit TraceViewer(const QString &address);
    ~TraceViewer() override;

    QList<Event> events;
    // Waits until an event of that kind whose second argument starts with text has come.
    bool waitFor(const QString &kind, const QString &text, int timeoutMs = 10000) const;
    // The first such event, or -1.
    qsizetype indexOf(const QString &kind, const QString &text) const;
    // How many such events came.
    qsizetype count(const QString &kind, const QString &text) const;

private Q_SLOTS:
    void received(const QDBusMessage &message);

private:
    QString m_name;
    QDBusConnection m_bus;
};

#endif
