#include "traceviewer.h"

#include <QTest>

namespace {

QString connectionName()
{
    static int next = 0;
    return QStringLiteral("viewer-%1").arg(++next);
}

} // namespace

TraceViewer::TraceViewer(const QString &address)
    : m_name(connectionName())
    , m_bus(QDBusConnection::connectToBus(address, m_name))
{
    for (const char *name : {"connectionStarted", "connectionEnded", "connectionDataInput", "connectionDataOutput",
                             "signalEmitted", "warningEmitted", "errorEmitted"}) {
        m_bus.connect(QString(), QStringLiteral("/tracing/notifications"),
                      QStringLiteral("org.freedesktop.Talvori.TracerNotification"), QLatin1String(name), this,
                      SLOT(received(QDBusMessage)));
    }
}

TraceViewer::~TraceViewer()
{
    QDBusConnection::disconnectFromBus(m_name);
}

bool TraceViewer::waitFor(const QString &kind, const QString &text, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return indexOf(kind, text) >= 0; }, timeoutMs);
}

qsizetype TraceViewer::indexOf(const QString &kind, const QString &text) const
{
    for (qsizetype i = 0; i < events.size(); ++i) {
        if (events.at(i).kind == kind && events.at(i).second.startsWith(text))
            return i;
    }
    return -1;
}

qsizetype TraceViewer::count(const QString &kind, const QString &text) const
{
    return std::count_if(events.cbegin(), events.cend(), [&](const Event &event) {
        return event.kind == kind && event.second.startsWith(text);
    });
}

void TraceViewer::received(const QDBusMessage &message)
{
    events.append({message.member(), message.arguments().value(0).toString(), message.arguments().value(1).toString()});
}
