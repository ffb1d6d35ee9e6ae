#include "foldersynchronizer.h"

#include "agentlog.h"
#include "messagefile.h"
#include "storesession.h"

#include <QFileInfo>
#include <QSet>

namespace {

// Appends go to the server in transactions of this many: far fewer commits than one each, and
// short enough that deliveries asked for meanwhile do not wait long.
constexpr int batchSize = 500;
// A folder with at least this many new messages reports its progress every so many.
constexpr int progressStep = 1000;

bool containsFlag(const QList<QByteArray> &flags, const QByteArray &flag)
{
    for (const QByteArray &candidate : flags) {
        if (candidate.compare(flag, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

FolderSynchronizer::FolderSynchronizer(StoreSession &session, Pause pause)
    : m_session(session)
    , m_pause(std::move(pause))
{
}

QString FolderSynchronizer::errorString() const
{
    return m_session.errorString();
}

bool FolderSynchronizer::run(const MaildirFolder &folder, qint64 collection)
{
    m_result = Result();
    m_files.clear();
    m_items.clear();

    QStringList errors;
    const QList<MaildirEntry> entries = folder.messages(&errors);
    for (const QString &error : std::as_const(errors))
        AgentLog::message(error);
    QHash<QString, MaildirEntry> byUnique;
    for (const MaildirEntry &entry : entries) {
        if (byUnique.contains(entry.uniqueName())) {
            AgentLog::message(QStringLiteral("%1: skipped: another file has the same unique name")
                                  .arg(folder.filePath(entry)));
            ++m_result.skipped;
            continue;
        }
        byUnique.insert(entry.uniqueName(), entry);
        m_files.insert(entry.uniqueName(), entry.relativePath());
    }
    m_result.messages = byUnique.size();

    QList<StoreSession::Item> items;
    if (!m_session.listItems(collection, &items))
        return false;
    QList<qint64> gone;
    QSet<QString> known;
    for (const StoreSession::Item &item : std::as_const(items)) {
        const QString unique = QString::fromUtf8(item.remoteId);
        const auto found = byUnique.constFind(unique);
        // An item twice for one message would be a second copy of it: it goes too.
        if (found == byUnique.constEnd() || known.contains(unique)) {
            gone.append(item.uid);
            continue;
        }
        known.insert(unique);
        m_items.insert(item.uid, unique);
        QList<QByteArray> added;
        QList<QByteArray> removed;
        for (const QByteArray &flag : found->flags()) {
            if (!containsFlag(item.flags, flag))
                added.append(flag);
        }
        for (const QByteArray &flag : item.flags) {
            if (MaildirEntry::isMaildirFlag(flag) && !containsFlag(found->flags(), flag))
                removed.append(flag);
        }
        if (added.isEmpty() && removed.isEmpty())
            continue;
        if (!m_session.changeFlags(item.uid, added, removed))
            return false;
        ++m_result.reflagged;
    }
    std::sort(gone.begin(), gone.end());
    if (!m_session.removeItems(gone))
        return false;
    m_result.removed = gone.size();

    QList<MaildirEntry> fresh;
    for (const MaildirEntry &entry : std::as_const(byUnique)) {
        if (!known.contains(entry.uniqueName()))
            fresh.append(entry);
    }
    std::sort(fresh.begin(), fresh.end(),
              [](const MaildirEntry &a, const MaildirEntry &b) { return a.uniqueName() < b.uniqueName(); });
    const bool ok = appendNew(folder, collection, fresh);
    AgentLog::message(QStringLiteral("%1: %2 messages; %3 added, %4 removed, %5 re-flagged, %6 skipped")
                          .arg(folder.name())
                          .arg(m_result.messages)
                          .arg(m_result.added)
                          .arg(m_result.removed)
                          .arg(m_result.reflagged)
                          .arg(m_result.skipped));
    return ok;
}

bool FolderSynchronizer::appendNew(const MaildirFolder &folder, qint64 collection, const QList<MaildirEntry> &entries)
{
    for (qsizetype start = 0; start < entries.size(); start += batchSize) {
        if (!m_session.beginTransaction())
            return false;
        const qsizetype end = qMin(entries.size(), start + batchSize);
        for (qsizetype i = start; i < end; ++i) {
            if (!append(folder, collection, entries.at(i))) {
                const QString error = m_session.errorString();
                m_session.rollbackTransaction();
                AgentLog::message(QStringLiteral("%1: %2").arg(folder.filePath(entries.at(i)), error));
                return false;
            }
        }
        if (!m_session.commitTransaction())
            return false;
        progress(folder, int(end), int(entries.size()));
        if (end < entries.size() && m_pause)
            m_pause();
    }
    return true;
}

bool FolderSynchronizer::append(const MaildirFolder &folder, qint64 collection, const MaildirEntry &entry)
{
    const QString path = folder.filePath(entry);
    if (!StoreSession::isRemoteIdUsable(entry.uniqueName().toUtf8())) {
        AgentLog::message(QStringLiteral("%1: skipped: its unique name cannot be a remote identifier").arg(path));
        ++m_result.skipped;
        return true;
    }
    QByteArray header;
    qint64 size = 0;
    QString error;
    if (!MessageFile::readHeader(path, &header, &size, &error)) {
        AgentLog::message(QStringLiteral("%1: skipped: %2").arg(path, error));
        ++m_result.skipped;
        return true;
    }
    const qint64 uid = m_session.appendHeader(collection, entry.uniqueName().toUtf8(), entry.flags(),
                                              QFileInfo(path).lastModified(), size, header);
    if (uid < 0)
        return false;
    m_items.insert(uid, entry.uniqueName());
    ++m_result.added;
    return true;
}

void FolderSynchronizer::progress(const MaildirFolder &folder, int done, int total) const
{
    if (total < progressStep || (done % progressStep != 0 && done != total))
        return;
    AgentLog::message(QStringLiteral("%1: %2 of %3 new messages").arg(folder.name()).arg(done).arg(total));
}
