#ifndef TALVORI_NOTIFICATIONMANAGER_H
#define TALVORI_NOTIFICATIONMANAGER_H

#include <notificationmessage.h>
#include <pendingnotifications.h>

#include <QObject>
#include <QTimer>

class NotificationCollector;

// Gathers the committed changes of every connection and announces them on the bus in batches:
// the first list that arrives starts a short timer, and everything that comes in before it
// fires leaves as one "notify" signal. Lives on the main thread; collectors hand their lists over
// through queued connections, so the pending list needs no lock.
class NotificationManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Talvori.NotificationManager")
public:
    static NotificationManager *self();

    void connectCollector(NotificationCollector *collector);

public Q_SLOTS:
    void slotNotify(const NotificationMessage::List &msgs);
    Q_SCRIPTABLE void emitPendingNotifications();

Q_SIGNALS:
    // Spelled as in the interface description, so the bus adaptor finds it to relay.
    void notify(const Talvori::NotificationMessage::List &msgs);

private:
    NotificationManager();

    PendingNotifications m_notifications;
    QTimer m_timer;
};

#endif
