#include "notifylistener.h"

#include <QDBusArgument>
#include <QTest>

NotifyListener::NotifyListener(const QString &address)
    : m_connection(QDBusConnection::connectToBus(address, QStringLiteral("listener")))
{
    m_connection.connect(QString(), QStringLiteral("/notifications"),
                         QStringLiteral("org.freedesktop.Talvori.NotificationManager"), QStringLiteral("notify"), this,
                         SLOT(received(QDBusMessage)));
}

QList<NotificationMessage::List> NotifyListener::settle(int waitMs)
{
    QTest::qWait(waitMs);
    const QList<NotificationMessage::List> result = batches;
    batches.clear();
    return result;
}

NotificationMessage::List NotifyListener::settleRecords(int waitMs)
{
    NotificationMessage::List records;
    for (const NotificationMessage::List &batch : settle(waitMs))
        records += batch;
    return records;
}

void NotifyListener::received(const QDBusMessage &message)
{
    signatures.append(message.signature());
    NotificationMessage::List list;
    message.arguments().value(0).value<QDBusArgument>() >> list;
    batches.append(list);
    Q_EMIT arrived();
}
