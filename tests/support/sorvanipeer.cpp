#include "sorvanipeer.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>

namespace {

// The result as the service puts it on the bus, (sda{s(isss)}), written here on its own rather
// than with the server's types, so that a mistake in those shows.
struct WireNode {
    int type = 2;
    QString value;
    QString language;
    QString dataType;
};

struct WireResult {
    QString uri;
    double score = 1.0;
    QMap<QString, WireNode> properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const WireNode &node)
{
    argument.beginStructure();
    argument << node.type << node.value << node.language << node.dataType;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, WireNode &node)
{
    argument.beginStructure();
    argument >> node.type >> node.value >> node.language >> node.dataType;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const WireResult &result)
{
    argument.beginStructure();
    argument << result.uri << result.score << result.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, WireResult &result)
{
    argument.beginStructure();
    argument >> result.uri >> result.score >> result.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(WireNode)
Q_DECLARE_METATYPE(WireResult)

SorvaniPeer::SorvaniPeer()
    : BusPeer(QStringLiteral("org.dax.sorvani.services.sorvaniqueryservice"), QStringLiteral("/"))
{
    qDBusRegisterMetaType<WireNode>();
    qDBusRegisterMetaType<QMap<QString, WireNode>>();
    qDBusRegisterMetaType<WireResult>();
    qDBusRegisterMetaType<QList<WireResult>>();
}

SorvaniPeer::~SorvaniPeer()
{
    // Before the answers go: no call may reach a peer half destroyed.
    unregisterFromBus();
}

QString SorvaniPeer::itemUri(qint64 id)
{
    return QStringLiteral("talvori:/items?item=%1").arg(id);
}

void SorvaniPeer::setResults(const QString &query, const QStringList &uris)
{
    QMutexLocker lock(&m_mutex);
    m_index.insert(query, uris);
}

void SorvaniPeer::addResults(const QString &query, const QStringList &uris)
{
    QMutexLocker lock(&m_mutex);
    m_index[query] += uris;
    for (auto it = m_open.cbegin(); it != m_open.cend(); ++it) {
        if (it.value() == query)
            sendEntries(it.key(), uris);
    }
}

void SorvaniPeer::removeResults(const QString &query, const QStringList &uris)
{
    QMutexLocker lock(&m_mutex);
    for (const QString &uri : uris)
        m_index[query].removeAll(uri);
    for (auto it = m_open.cbegin(); it != m_open.cend(); ++it) {
        if (it.value() == query)
            emitSignal(it.key(), QStringLiteral("org.dax.sorvani.Query"), QStringLiteral("entriesRemoved"),
                       {uris});
    }
}

QStringList SorvaniPeer::openQueries() const
{
    QMutexLocker lock(&m_mutex);
    QStringList queries;
    for (const QString &path : m_openOrder)
        queries.append(m_open.value(path));
    return queries;
}

void SorvaniPeer::setFinishListing(bool finish)
{
    QMutexLocker lock(&m_mutex);
    m_finishListing = finish;
}

void SorvaniPeer::setAnswerQueries(bool answer)
{
    QMutexLocker lock(&m_mutex);
    m_answerQueries = answer;
}

void SorvaniPeer::setBatchSize(int size)
{
    QMutexLocker lock(&m_mutex);
    m_batchSize = size;
}

void SorvaniPeer::sendEntries(const QString &path, const QStringList &uris)
{
    for (qsizetype start = 0; start < uris.size(); start += m_batchSize) {
        QList<WireResult> results;
        for (const QString &uri : uris.mid(start, m_batchSize)) {
            WireResult result;
            result.uri = uri;
            result.properties.insert(QStringLiteral("http://example.org/title"),
                                     WireNode{2, QStringLiteral("Titel"), QStringLiteral("de"), QString()});
            results.append(result);
        }
        emitSignal(path, QStringLiteral("org.dax.sorvani.Query"), QStringLiteral("newEntries"),
                   {QVariant::fromValue(results)});
    }
}

bool SorvaniPeer::handleCall(const QDBusMessage &message)
{
    QMutexLocker lock(&m_mutex);
    const QString member = message.member();
    if (message.interface() == QLatin1String("org.dax.sorvani.QueryService") && member == QLatin1String("sparqlQuery")) {
        const QString query = message.arguments().value(0).toString();
        record(QStringLiteral("sparqlQuery(%1)").arg(query));
        const QString path = QStringLiteral("/query/%1").arg(m_nextQuery++);
        m_open.insert(path, query);
        m_openOrder.append(path);
        if (m_answerQueries)
            reply(message, {QVariant::fromValue(QDBusObjectPath(path))});
        return true;
    }
    if (message.interface() != QLatin1String("org.dax.sorvani.Query") || !m_open.contains(message.path()))
        return false;
    const QString path = message.path();
    const QString query = m_open.value(path);
    if (member == QLatin1String("list")) {
        record(QStringLiteral("list(%1)").arg(query));
        reply(message);
        sendEntries(path, m_index.value(query));
        if (m_finishListing)
            emitSignal(path, QStringLiteral("org.dax.sorvani.Query"), QStringLiteral("finishedListing"), {});
        return true;
    }
    if (member == QLatin1String("close")) {
        record(QStringLiteral("close(%1)").arg(query));
        m_open.remove(path);
        m_openOrder.removeAll(path);
        reply(message);
        return true;
    }
    return false;
}
