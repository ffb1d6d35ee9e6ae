#ifndef TALVORI_MAILDIRRESOURCE_H
#define TALVORI_MAILDIRRESOURCE_H

#include "maildirfolder.h"
#include "maildirtree.h"
#include "storesession.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// A resource that mirrors one Maildir tree into the server: its folders as collections, its
// messages as "message/rfc822" items known by their file's unique name, with only the header
// cached; the whole message is stored when the server asks for it. It owns
// "org.freedesktop.Talvori.Resource.<identifier>" with the resource interface at "/", and talks to
// the server through a connection of its own, logged in with its identifier. The Maildir is only
// ever read.
//
// Everything runs on the main thread. Synchronisation requests are queued and worked through one
// after another; a long synchronisation pauses between batches, so that deliveries asked for
// meanwhile are served.
class MaildirResource : public QObject
{
    Q_OBJECT
public:
    MaildirResource(const QString &identifier, const QString &maildir, const QString &serverSocket);

    // Checks the Maildir, takes the bus name, registers the instance with the server and logs in;
    // false with errorString(). With initialSync the whole tree is synchronised once it runs.
    bool start(bool initialSync);
    QString errorString() const { return m_error; }

public Q_SLOTS:
    // The resource interface.
    bool requestItemDelivery(qlonglong uid, const QString &remoteId, const QString &mimeType, const QStringList &parts);
    void synchronizeCollection(qlonglong collectionId);
    void synchronizeCollectionTree();
    void synchronize();
    QString name() const;
    void setName(const QString &name);

Q_SIGNALS:
    void nameChanged(const QString &name);
    // After a synchronize() has gone through the whole tree.
    void synchronized();

private Q_SLOTS:
    void runQueue();
    void serverLost();

private:
    enum class Task { Tree, Collection, Everything };
    struct Work {
        Task task;
        qint64 collection;
        bool operator==(const Work &other) const = default;
    };

    bool registerWithServer();
    void enqueue(Work work);
    bool syncTree();
    bool syncCollection(qint64 collection);
    bool syncEverything();
    // The file of an item's message, looked for again in its folder when it moved.
    QString locate(qint64 uid, const QString &uniqueName, QString *error);

    const QString m_identifier;
    QString m_name;
    MaildirTree m_tree;
    const QString m_serverSocket;
    StoreSession m_session;
    QString m_error;

    QList<Work> m_queue;
    bool m_running = false;
    // What the last synchronisations found: each collection's folder, the collection of each item,
    // and where each message is within its folder.
    QHash<qint64, MaildirFolder> m_folders;
    QHash<qint64, qint64> m_itemCollections;
    QHash<qint64, QHash<QString, QString>> m_files;
};

#endif
