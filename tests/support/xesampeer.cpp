#include "xesampeer.h"

#include <QDBusMetaType>
#include <QDBusVariant>

namespace {

const QString Interface = QStringLiteral("org.freedesktop.xesam.Search");
const QString Path = QStringLiteral("/org/freedesktop/xesam/searcher/main");

} // namespace

XesamPeer::XesamPeer()
    : BusPeer(QStringLiteral("org.freedesktop.xesam.searcher"), Path)
{
    qDBusRegisterMetaType<QList<QVariantList>>();
}

XesamPeer::~XesamPeer()
{
    // Before the answers go: no call may reach a peer half destroyed.
    unregisterFromBus();
}

void XesamPeer::setHits(const QString &query, const QStringList &hits)
{
    QMutexLocker lock(&m_mutex);
    m_index.insert(query, hits);
}

void XesamPeer::addHits(const QString &query, const QStringList &hits)
{
    QMutexLocker lock(&m_mutex);
    m_index[query] += hits;
    for (auto it = m_searches.begin(); it != m_searches.end(); ++it) {
        if (it->query != query || !it->started)
            continue;
        it->hits += hits;
        emitSignal(Path, Interface, QStringLiteral("HitsAdded"), {it.key(), int(hits.size())});
    }
}

void XesamPeer::removeHits(const QString &query, const QStringList &hits)
{
    QMutexLocker lock(&m_mutex);
    for (const QString &hit : hits)
        m_index[query].removeAll(hit);
    for (auto it = m_searches.begin(); it != m_searches.end(); ++it) {
        if (it->query != query || !it->started)
            continue;
        QList<int> numbers;
        for (int i = 0; i < it->hits.size(); ++i) {
            if (hits.contains(it->hits.at(i))) {
                numbers.append(i);
                it->hits[i].clear();
            }
        }
        emitSignal(Path, Interface, QStringLiteral("HitsRemoved"), {it.key(), QVariant::fromValue(numbers)});
    }
}

void XesamPeer::setAnswerSession(bool answer)
{
    QMutexLocker lock(&m_mutex);
    m_answerSession = answer;
}

bool XesamPeer::handleCall(const QDBusMessage &message)
{
    if (message.interface() != Interface)
        return false;
    QMutexLocker lock(&m_mutex);
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (member == QLatin1String("NewSession")) {
        record(QStringLiteral("NewSession()"));
        if (m_answerSession)
            reply(message, {QStringLiteral("session1")});
    } else if (member == QLatin1String("SetProperty")) {
        const QVariant value = args.value(2).value<QDBusVariant>().variant();
        record(QStringLiteral("SetProperty(%1,%2)").arg(args.value(1).toString(), value.toString()));
        reply(message, {QVariant::fromValue(QDBusVariant(value))});
    } else if (member == QLatin1String("NewSearch")) {
        const QString handle = QStringLiteral("search%1").arg(m_nextSearch++);
        Search search;
        search.query = args.value(1).toString();
        m_searches.insert(handle, search);
        record(QStringLiteral("NewSearch(%1)").arg(search.query));
        reply(message, {handle});
    } else if (member == QLatin1String("StartSearch")) {
        Search &search = m_searches[args.value(0).toString()];
        record(QStringLiteral("StartSearch(%1)").arg(search.query));
        search.started = true;
        search.hits = m_index.value(search.query);
        reply(message);
        if (!search.hits.isEmpty())
            emitSignal(Path, Interface, QStringLiteral("HitsAdded"), {args.value(0), int(search.hits.size())});
    } else if (member == QLatin1String("GetHits")) {
        Search &search = m_searches[args.value(0).toString()];
        const int count = args.value(1).toInt();
        record(QStringLiteral("GetHits(%1,%2)").arg(search.query).arg(count));
        QList<QVariantList> hits;
        for (; hits.size() < count && search.handedOut < search.hits.size(); ++search.handedOut)
            hits.append(QVariantList{search.hits.at(search.handedOut)});
        reply(message, {QVariant::fromValue(hits)});
    } else if (member == QLatin1String("CloseSearch")) {
        const Search search = m_searches.take(args.value(0).toString());
        record(QStringLiteral("CloseSearch(%1)").arg(search.query));
        reply(message);
    } else if (member == QLatin1String("CloseSession")) {
        record(QStringLiteral("CloseSession()"));
        reply(message);
    } else {
        return false;
    }
    return true;
}
