#ifndef TALVORI_FOLDERSYNCHRONIZER_H
#define TALVORI_FOLDERSYNCHRONIZER_H

#include "maildirfolder.h"

#include <QHash>
#include <QString>

#include <functional>

class StoreSession;

// Brings the items of one collection in line with its Maildir folder: a message new to the folder
// is appended with its header alone, one gone from it is removed, and changed flags are stored.
// Messages the server has already are not read again. A message that cannot be read or is damaged
// is reported with its file and skipped.
class FolderSynchronizer
{
public:
    struct Result {
        int messages = 0;
        int added = 0;
        int removed = 0;
        int reflagged = 0;
        int skipped = 0;
    };

    // Called between batches of appends, outside any transaction: the caller may use the session
    // meanwhile (to deliver an item, say).
    using Pause = std::function<void()>;

    FolderSynchronizer(StoreSession &session, Pause pause);

    // False when the server refused a command (errorString()); what was done until then stays.
    bool run(const MaildirFolder &folder, qint64 collection);
    QString errorString() const;
    Result result() const { return m_result; }
    // Where each message of the folder is, by unique name, and the items the collection holds now.
    QHash<QString, QString> files() const { return m_files; }
    QHash<qint64, QString> items() const { return m_items; }

private:
    bool appendNew(const MaildirFolder &folder, qint64 collection, const QList<MaildirEntry> &entries);
    // Appends one message; false only when the server refused it.
    bool append(const MaildirFolder &folder, qint64 collection, const MaildirEntry &entry);
    void progress(const MaildirFolder &folder, int done, int total) const;

    StoreSession &m_session;
    Pause m_pause;
    Result m_result;
    QHash<QString, QString> m_files;
    QHash<qint64, QString> m_items;
};

#endif
