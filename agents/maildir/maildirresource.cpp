#include "maildirresource.h"

#include "agentlog.h"
#include "foldersynchronizer.h"
#include "messagefile.h"
#include "resourceadaptor.h"
#include "resourcemanagerinterface.h"
#include "treesynchronizer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

MaildirResource::MaildirResource(const QString &identifier, const QString &maildir, const QString &serverSocket)
    : m_identifier(identifier)
    , m_name(identifier)
    , m_tree(maildir)
    , m_serverSocket(serverSocket)
{
}

bool MaildirResource::start(bool initialSync)
{
    m_error = m_tree.check();
    if (!m_error.isEmpty())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_error = QStringLiteral("no session bus: %1").arg(bus.lastError().message());
        return false;
    }
    new ResourceAdaptor(this);
    const QString service = QStringLiteral("org.freedesktop.Talvori.Resource.") + m_identifier;
    if (!bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAdaptors)
        || !bus.registerService(service)) {
        m_error = QStringLiteral("cannot own %1 on the bus (is the resource running already?): %2")
                      .arg(service, bus.lastError().message());
        return false;
    }
    if (!registerWithServer())
        return false;
    if (!m_session.open(m_serverSocket, m_identifier.toUtf8())) {
        m_error = m_session.errorString();
        return false;
    }
    connect(m_session.socket(), &QLocalSocket::disconnected, this, &MaildirResource::serverLost);
    if (initialSync)
        synchronize();
    return true;
}

bool MaildirResource::registerWithServer()
{
    OrgFreedesktopTalvoriResourceManagerInterface manager(QStringLiteral("org.freedesktop.Talvori"),
                                                          QStringLiteral("/ResourceManager"),
                                                          QDBusConnection::sessionBus());
    // A resource the server knows already stays as it is.
    QDBusPendingReply<> reply = manager.addResourceInstance(m_identifier, {QStringLiteral("Resource")});
    reply.waitForFinished();
    if (reply.isError()) {
        m_error = QStringLiteral("cannot register with the server: %1").arg(reply.error().message());
        return false;
    }
    return true;
}

void MaildirResource::serverLost()
{
    AgentLog::message(QStringLiteral("lost the connection to the server"));
    QCoreApplication::exit(1);
}

QString MaildirResource::name() const
{
    return m_name;
}

void MaildirResource::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    Q_EMIT nameChanged(name);
}

void MaildirResource::synchronize()
{
    enqueue({Task::Everything, -1});
}

void MaildirResource::synchronizeCollectionTree()
{
    enqueue({Task::Tree, -1});
}

void MaildirResource::synchronizeCollection(qlonglong collectionId)
{
    enqueue({Task::Collection, collectionId});
}

void MaildirResource::enqueue(Work work)
{
    if (m_queue.contains(work))
        return;
    m_queue.append(work);
    QTimer::singleShot(0, this, &MaildirResource::runQueue);
}

void MaildirResource::runQueue()
{
    // A synchronisation pauses for deliveries; requests that come meanwhile wait in the queue.
    if (m_running)
        return;
    m_running = true;
    while (!m_queue.isEmpty()) {
        const Work work = m_queue.takeFirst();
        switch (work.task) {
        case Task::Tree:
            syncTree();
            break;
        case Task::Collection:
            syncCollection(work.collection);
            break;
        case Task::Everything:
            syncEverything();
            break;
        }
    }
    m_running = false;
}

bool MaildirResource::syncTree()
{
    TreeSynchronizer tree(m_session);
    if (!tree.run(m_identifier, m_tree.folders())) {
        AgentLog::message(QStringLiteral("collection tree: %1").arg(tree.errorString()));
        return false;
    }
    m_folders = tree.collections();
    return true;
}

bool MaildirResource::syncCollection(qint64 collection)
{
    if (!m_folders.contains(collection) && !syncTree())
        return false;
    const auto found = m_folders.constFind(collection);
    if (found == m_folders.constEnd()) {
        AgentLog::message(QStringLiteral("collection %1 is none of this resource's folders").arg(collection));
        return false;
    }
    const MaildirFolder folder = *found;
    FolderSynchronizer synchronizer(m_session, []() { QCoreApplication::processEvents(); });
    const bool ok = synchronizer.run(folder, collection);
    m_files.insert(collection, synchronizer.files());
    const QHash<qint64, QString> items = synchronizer.items();
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        m_itemCollections.insert(it.key(), collection);
    if (!ok)
        AgentLog::message(QStringLiteral("%1: synchronisation stopped: %2").arg(folder.path(), synchronizer.errorString()));
    return ok;
}

bool MaildirResource::syncEverything()
{
    bool ok = syncTree();
    if (ok) {
        QList<qint64> collections = m_folders.keys();
        // Parents were made before their children.
        std::sort(collections.begin(), collections.end());
        for (qint64 collection : std::as_const(collections))
            ok = syncCollection(collection) && ok;
    }
    Q_EMIT synchronized();
    return ok;
}

QString MaildirResource::locate(qint64 uid, const QString &uniqueName, QString *error)
{
    qint64 collection = m_itemCollections.value(uid, -1);
    if (collection < 0) {
        collection = m_session.collectionOf(uid);
        if (collection < 0) {
            *error = m_session.errorString();
            return QString();
        }
        m_itemCollections.insert(uid, collection);
    }
    if (!m_folders.contains(collection))
        syncTree();
    const MaildirFolder folder = m_folders.value(collection);
    if (!folder.isValid()) {
        *error = QStringLiteral("collection %1 is none of this resource's folders").arg(collection);
        return QString();
    }
    QString relative = m_files.value(collection).value(uniqueName);
    if (relative.isEmpty() || !QFileInfo::exists(folder.path() + QLatin1Char('/') + relative)) {
        // Renamed since (its flags changed), or never seen: the folder as it is now.
        QStringList errors;
        QHash<QString, QString> files;
        const QList<MaildirEntry> entries = folder.messages(&errors);
        for (const MaildirEntry &entry : entries)
            files.insert(entry.uniqueName(), entry.relativePath());
        relative = files.value(uniqueName);
        m_files.insert(collection, files);
    }
    if (relative.isEmpty()) {
        *error = QStringLiteral("%1 has no message %2").arg(folder.path(), uniqueName);
        return QString();
    }
    return folder.path() + QLatin1Char('/') + relative;
}

bool MaildirResource::requestItemDelivery(qlonglong uid, const QString &remoteId, const QString &mimeType,
                                          const QStringList &parts)
{
    Q_UNUSED(mimeType);
    QString error;
    const QString path = locate(uid, remoteId, &error);
    QByteArray message;
    if (path.isEmpty() || !MessageFile::read(path, &message, &error)) {
        AgentLog::message(QStringLiteral("cannot deliver item %1 (%2): %3").arg(uid).arg(path.isEmpty() ? remoteId : path, error));
        return false;
    }
    for (const QString &part : parts) {
        QByteArray data;
        if (part == QLatin1String("RFC822")) {
            data = message;
        } else if (part == QLatin1String("HEAD")) {
            data = MessageFile::header(message);
        } else {
            AgentLog::message(QStringLiteral("cannot deliver item %1: it has no part %2").arg(uid).arg(part));
            return false;
        }
        if (!m_session.storePart(uid, part, data)) {
            AgentLog::message(QStringLiteral("cannot deliver item %1 (%2): %3").arg(uid).arg(path, m_session.errorString()));
            return false;
        }
    }
    return true;
}
