// Every object the server exports on the bus, introspected on a private bus and compared member by
// member (names, argument names, types, directions, annotations) with the catalogue the server's
// peers are written against.

#include "testclient.h"
#include "testserver.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDomDocument>
#include <QTest>

namespace {

// One line per member: "method quit()", "signal notify(a(ayiixsayxxsas) message)",
// "method tracer(out s)"; annotations follow in brackets, sorted.
QStringList describe(const QDomElement &interface)
{
    QStringList lines;
    for (QDomElement member = interface.firstChildElement(); !member.isNull(); member = member.nextSiblingElement()) {
        const QString kind = member.tagName();
        if (kind != QLatin1String("method") && kind != QLatin1String("signal"))
            continue;
        QStringList args;
        QStringList annotations;
        for (QDomElement child = member.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
            if (child.tagName() == QLatin1String("arg")) {
                QString arg;
                if (kind == QLatin1String("method"))
                    arg = child.attribute(QStringLiteral("direction"), QStringLiteral("in")) + QLatin1Char(' ');
                arg += child.attribute(QStringLiteral("type"));
                if (child.hasAttribute(QStringLiteral("name")))
                    arg += QLatin1Char(' ') + child.attribute(QStringLiteral("name"));
                args.append(arg);
            } else if (child.tagName() == QLatin1String("annotation")) {
                annotations.append(child.attribute(QStringLiteral("name")) + QLatin1Char('=')
                                   + child.attribute(QStringLiteral("value")));
            }
        }
        annotations.sort();
        QString line = kind + QLatin1Char(' ') + member.attribute(QStringLiteral("name")) + QLatin1Char('(')
            + args.join(QLatin1String(", ")) + QLatin1Char(')');
        if (!annotations.isEmpty())
            line += QLatin1String(" [") + annotations.join(QLatin1String(", ")) + QLatin1Char(']');
        lines.append(line);
    }
    return lines;
}

const QString NotificationListType = QStringLiteral("const Talvori::NotificationMessage::List &");

} // namespace

class BusInterfacesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void exportedObjects_data();
    void exportedObjects();
    void tracerNotificationsOnlyWhileActive();

private:
    QString introspect(const QString &path);

    TestServer m_server;
};

void BusInterfacesTest::initTestCase()
{
    TALVORI_VERIFY_STARTED(m_server, m_server.start());
}

void BusInterfacesTest::cleanupTestCase()
{
    QCOMPARE(m_server.stop(), 0);
}

QString BusInterfacesTest::introspect(const QString &path)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Talvori"), path,
                                                       QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                                       QStringLiteral("Introspect"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return QString();
    return reply.arguments().value(0).toString();
}

void BusInterfacesTest::exportedObjects_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QStringList>("members");

    QTest::newRow("/Server") << "/Server" << "org.freedesktop.Talvori.Server" << QStringList{"method quit()"};
    QTest::newRow("/tracing") << "/tracing" << "org.freedesktop.Talvori.Tracer"
                              << QStringList{"method beginConnection(in s identifier, in s msg)",
                                             "method endConnection(in s identifier, in s msg)",
                                             "method connectionInput(in s identifier, in s msg)",
                                             "method connectionOutput(in s identifier, in s msg)",
                                             "method signal(in s signalName, in s msg)",
                                             "method warning(in s componentName, in s msg)",
                                             "method error(in s componentName, in s msg)"};
    QTest::newRow("/notifications")
        << "/notifications" << "org.freedesktop.Talvori.NotificationManager"
        << QStringList{"signal notify(a(ayiixsayxxsas) message) [com.trolltech.QtDBus.QtTypeName.In0="
                       + NotificationListType + ", com.trolltech.QtDBus.QtTypeName.Out0=" + NotificationListType
                       + ", org.qtproject.QtDBus.QtTypeName.In0=" + NotificationListType
                       + ", org.qtproject.QtDBus.QtTypeName.Out0=" + NotificationListType + "]"};
    QTest::newRow("/notifications/debug") << "/notifications/debug" << "org.freedesktop.Talvori.NotificationManager"
                                          << QStringList{"method emitPendingNotifications()"};
    QTest::newRow("/debug") << "/debug" << "org.freedesktop.Talvori.DebugInterface"
                            << QStringList{"method tracer(out s)", "method setTracer(in s tracer)"};
    QTest::newRow("/ResourceManager")
        << "/ResourceManager" << "org.freedesktop.Talvori.ResourceManager"
        << QStringList{"method addResourceInstance(in s identifier, in as capabilities)",
                       "method removeResourceInstance(in s identifier)"};
    QTest::newRow("/PreprocessorManager")
        << "/PreprocessorManager" << "org.freedesktop.Talvori.PreprocessorManager"
        << QStringList{"method registerInstance(in s id) [org.freedesktop.DBus.Method.NoReply=true]",
                       "method unregisterInstance(in s id) [org.freedesktop.DBus.Method.NoReply=true]"};
}

void BusInterfacesTest::exportedObjects()
{
    QFETCH(QString, path);
    QFETCH(QString, interface);
    QFETCH(QStringList, members);

    const QString xml = introspect(path);
    QVERIFY2(!xml.isEmpty(), qPrintable(path + QLatin1String(" does not answer")));
    QDomDocument document;
    QVERIFY(document.setContent(xml));
    QDomElement found;
    for (QDomElement element = document.documentElement().firstChildElement(QStringLiteral("interface"));
         !element.isNull(); element = element.nextSiblingElement(QStringLiteral("interface"))) {
        if (element.attribute(QStringLiteral("name")) == interface)
            found = element;
    }
    QVERIFY2(!found.isNull(), qPrintable(interface + QLatin1String(" is missing:\n") + xml));
    QCOMPARE(describe(found), members);
}

void BusInterfacesTest::tracerNotificationsOnlyWhileActive()
{
    const auto hasNotifications = [this] {
        return introspect(QStringLiteral("/tracing")).contains(QLatin1String("<node name=\"notifications\""));
    };
    QVERIFY(!hasNotifications());
    QVERIFY(introspect(QStringLiteral("/tracing/notifications")).indexOf(QLatin1String("TracerNotification")) < 0);
    // A call over the bus switches the back-end; its object comes and goes with it.
    const auto setTracer = [](const QString &type) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Talvori"), QStringLiteral("/debug"),
                                                           QStringLiteral("org.freedesktop.Talvori.DebugInterface"),
                                                           QStringLiteral("setTracer"));
        call << type;
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
    };
    QVERIFY(setTracer(QStringLiteral("dbus")));
    const QString xml = introspect(QStringLiteral("/tracing/notifications"));
    QDomDocument document;
    QVERIFY(document.setContent(xml));
    QDomElement notification;
    for (QDomElement element = document.documentElement().firstChildElement(QStringLiteral("interface"));
         !element.isNull(); element = element.nextSiblingElement(QStringLiteral("interface"))) {
        if (element.attribute(QStringLiteral("name")) == QLatin1String("org.freedesktop.Talvori.TracerNotification"))
            notification = element;
    }
    QVERIFY2(!notification.isNull(), qPrintable(xml));
    QCOMPARE(describe(notification), (QStringList{"signal connectionStarted(s identifier, s msg)",
                                                  "signal connectionEnded(s identifier, s msg)",
                                                  "signal connectionDataInput(s identifier, s msg)",
                                                  "signal connectionDataOutput(s identifier, s msg)",
                                                  "signal signalEmitted(s signalName, s msg)",
                                                  "signal warningEmitted(s componentName, s msg)",
                                                  "signal errorEmitted(s componentName, s msg)"}));
    QVERIFY(setTracer(QStringLiteral("null")));
    QVERIFY(!hasNotifications());
}

QTEST_GUILESS_MAIN(BusInterfacesTest)
#include "tst_businterfaces.moc"
