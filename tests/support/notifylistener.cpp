#include "notifylistener.h"

#include <QDBusArgument>
#include <QDeadlineTimer>
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

NotificationMessage::List NotifyListener::waitForRecords(const std::function<bool(const NotificationMessage &)> &relevant,
                                                         int count, int timeoutMs)
{
    NotificationMessage::List records;
    const auto take = [&] {
        for (const NotificationMessage::List &batch : std::as_const(batches)) {
            for (const NotificationMessage &msg : batch) {
                if (relevant(msg))
                    records.append(msg);
            }
        }
        batches.clear();
    };
    QDeadlineTimer deadline(timeoutMs);
    take();
    while (records.size() < count && !deadline.hasExpired()) {
        QTest::qWait(50);
        take();
    }
    QTest::qWait(300);
    take();
    return records;
}

NotificationMessage::List NotifyListener::waitForRecords(NotificationMessage::Operation operation,
                                                         const QList<qint64> &uids, int count, int timeoutMs)
{
    return waitForRecords(
        [&](const NotificationMessage &msg) { return msg.operation() == operation && uids.contains(msg.uid()); },
        count, timeoutMs);
}

void NotifyListener::received(const QDBusMessage &message)
{
    signatures.append(message.signature());
    NotificationMessage::List list;
    message.arguments().value(0).value<QDBusArgument>() >> list;
    batches.append(list);
    Q_EMIT arrived();
}
