#ifndef TALVORI_NOTIFYLISTENER_H
#define TALVORI_NOTIFYLISTENER_H

#include <notificationmessage.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>

#include <functional>

// Listens on its own bus connection for the server's "notify" signal, as any client would.
class NotifyListener : public QObject
{
    Q_OBJECT
public:
    explicit NotifyListener(const QString &address);

    // The batches that arrived until a short while from now, taken out of the listener.
    QList<NotificationMessage::List> settle(int waitMs = 400);
    // The same, the records of all batches in one list.
    NotificationMessage::List settleRecords(int waitMs = 400);
    // The records relevant picks, once count of them have come (or timeoutMs has passed) and
    // then a while longer for any that should not come; the records of earlier commands that
    // arrive meanwhile, late on a busy machine, are left out. Everything is taken.
    NotificationMessage::List waitForRecords(const std::function<bool(const NotificationMessage &)> &relevant,
                                             int count, int timeoutMs = 10000);
    // The same for the records of the operation on the ids.
    NotificationMessage::List waitForRecords(NotificationMessage::Operation operation, const QList<qint64> &uids,
                                             int count, int timeoutMs = 10000);

    QList<NotificationMessage::List> batches;
    // The bus signature of each signal, in the order they came.
    QList<QString> signatures;

public Q_SLOTS:
    void received(const QDBusMessage &message);

Q_SIGNALS:
    void arrived();

private:
    QDBusConnection m_connection;
};

#endif
