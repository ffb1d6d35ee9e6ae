#include "xesamsearchengine.h"

#include "common/log.h"
#include "search/searchlinks.h"
#include "search/searchresource.h"
#include "search/xesaminterface.h"
#include "search/xesamtypes.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

using namespace Talvori;

namespace {

const QString QueryLanguage = QStringLiteral("XESAM");

// The item a hit names: its first field as a decimal number; -1 when it is none.
qint64 itemOfHit(const QVariantList &hit)
{
    if (hit.isEmpty())
        return -1;
    bool ok = false;
    const qint64 id = hit.first().toString().toLongLong(&ok);
    return ok && id > 0 ? id : -1;
}

} // namespace

XesamSearchEngine::XesamSearchEngine(QObject *parent)
    : QObject(parent)
{
    XesamTypes::registerTypes();
    m_interface = new OrgFreedesktopXesamSearchInterface(QStringLiteral("org.freedesktop.xesam.searcher"),
                                                         QStringLiteral("/org/freedesktop/xesam/searcher/main"),
                                                         QDBusConnection::sessionBus(), this);
    if (!m_interface->isValid()) {
        qWarning() << "XESAM interface not found!";
        becomeInert("no service");
        return;
    }
    connect(m_interface, &OrgFreedesktopXesamSearchInterface::HitsAdded, this, &XesamSearchEngine::slotHitsAdded);
    connect(m_interface, &OrgFreedesktopXesamSearchInterface::HitsRemoved, this, &XesamSearchEngine::slotHitsRemoved);
    connect(m_interface, &OrgFreedesktopXesamSearchInterface::HitsModified, this,
            &XesamSearchEngine::slotHitsModified);
    auto *call = new QDBusPendingCallWatcher(m_interface->NewSession(), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &XesamSearchEngine::sessionOpened);

    const Resource resource = SearchResource::resource();
    if (!resource.isValid()) {
        qWarning() << "No valid search resource found!";
        return;
    }
    m_waiting = SearchResource::searches();
}

XesamSearchEngine::~XesamSearchEngine()
{
    const QList<qint64> collections = m_handles.keys();
    for (const qint64 id : collections)
        removeSearch(id);
    if (!m_session.isEmpty())
        m_interface->CloseSession(m_session);
}

void XesamSearchEngine::sessionOpened(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<QString> reply = *call;
    if (reply.isError()) {
        becomeInert("no session");
        return;
    }
    m_session = reply.value();
    logDebug() << "XESAM session:" << m_session;
    setProperty(QStringLiteral("search.live"), true);
    setProperty(QStringLiteral("search.blocking"), false);
}

void XesamSearchEngine::setProperty(const QString &property, bool value)
{
    ++m_pendingProperties;
    auto *call = new QDBusPendingCallWatcher(
        m_interface->SetProperty(m_session, property, QDBusVariant(QVariant(value))), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, value](QDBusPendingCallWatcher *call) { propertySet(call, value); });
}

void XesamSearchEngine::propertySet(QDBusPendingCallWatcher *call, bool expected)
{
    call->deleteLater();
    if (m_state != Starting)
        return;
    const QDBusPendingReply<QDBusVariant> reply = *call;
    // The service answers with the value it actually uses; a live, non-blocking session is what
    // the engine needs.
    if (reply.isError() || reply.value().variant().toBool() != expected) {
        becomeInert("session properties refused");
        return;
    }
    if (--m_pendingProperties == 0)
        becomeReady();
}

void XesamSearchEngine::becomeReady()
{
    m_state = Ready;
    const QList<Collection> waiting = std::exchange(m_waiting, {});
    for (const Collection &collection : waiting)
        addSearch(collection);
}

void XesamSearchEngine::becomeInert(const char *reason)
{
    m_state = Inert;
    m_waiting.clear();
    qWarning() << "No valid XESAM interface found!" << reason;
}

void XesamSearchEngine::addSearch(const Collection &collection)
{
    if (m_state == Inert || collection.queryLanguage() != QueryLanguage || collection.queryString().isEmpty())
        return;
    if (m_state == Starting) {
        m_waiting.append(collection);
        return;
    }
    const qint64 id = collection.id();
    removeSearch(id);
    const int generation = ++m_generations[id];
    auto *call = new QDBusPendingCallWatcher(m_interface->NewSearch(m_session, collection.queryString()), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, id, generation](QDBusPendingCallWatcher *call) { searchCreated(call, id, generation); });
}

void XesamSearchEngine::searchCreated(QDBusPendingCallWatcher *call, qint64 collectionId, int generation)
{
    call->deleteLater();
    const QDBusPendingReply<QString> reply = *call;
    if (reply.isError()) {
        qWarning() << "XesamSearchEngine: NewSearch failed for collection" << collectionId << reply.error().message();
        return;
    }
    const QString handle = reply.value();
    if (m_generations.value(collectionId) != generation) {
        // Removed (or replaced) while the service was creating it.
        m_interface->CloseSearch(handle);
        return;
    }
    logDebug() << "XesamSearchEngine::addSeach" << collectionId << handle;
    Search search;
    search.collectionId = collectionId;
    m_searches.insert(handle, search);
    m_handles.insert(collectionId, handle);
    m_interface->StartSearch(handle);
}

void XesamSearchEngine::removeSearch(qint64 collectionId)
{
    m_waiting.removeIf([collectionId](const Collection &collection) { return collection.id() == collectionId; });
    // A NewSearch still on its way is closed when it arrives.
    if (m_generations.contains(collectionId))
        ++m_generations[collectionId];
    const QString handle = m_handles.take(collectionId);
    if (handle.isEmpty())
        return;
    m_searches.remove(handle);
    m_interface->CloseSearch(handle);
}

void XesamSearchEngine::slotHitsAdded(const QString &search, int count)
{
    logDebug() << "hits added: " << search << count;
    if (count <= 0 || !m_searches.contains(search))
        return;
    logDebug() << "calling GetHits";
    auto *call = new QDBusPendingCallWatcher(m_interface->GetHits(search, count), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, search](QDBusPendingCallWatcher *call) { hitsArrived(call, search); });
}

void XesamSearchEngine::hitsArrived(QDBusPendingCallWatcher *call, const QString &handle)
{
    call->deleteLater();
    const QDBusPendingReply<XesamHits> reply = *call;
    const auto search = m_searches.find(handle);
    if (reply.isError() || search == m_searches.end())
        return;
    const XesamHits hits = reply.value();
    logDebug() << "GetHits returned:" << hits.size();
    QList<qint64> items;
    items.reserve(hits.size());
    for (const QVariantList &hit : hits)
        items.append(itemOfHit(hit));
    // Hits are numbered in the order they are handed out; removals name them by those numbers.
    search->hitItems += items;
    SearchLinks::link(search->collectionId, items, SearchLinks::Silent);
}

void XesamSearchEngine::slotHitsRemoved(const QString &handle, const QList<int> &hitIds)
{
    logDebug() << "hits removed: " << handle << hitIds;
    const auto search = m_searches.constFind(handle);
    if (search == m_searches.constEnd())
        return;
    // The service has dropped these hits already, so their items are known only from here.
    QList<qint64> items;
    for (const int hit : hitIds) {
        if (hit >= 0 && hit < search->hitItems.size())
            items.append(search->hitItems.at(hit));
    }
    SearchLinks::unlink(search->collectionId, items, SearchLinks::Silent);
}

void XesamSearchEngine::slotHitsModified(const QString &search, const QList<int> &hitIds)
{
    logDebug() << "hits modified: " << search << hitIds;
}
