#ifndef TALVORI_NOTIFYLISTENER_H
#define TALVORI_NOTIFYLISTENER_H

#include <notificationmessage.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>

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
