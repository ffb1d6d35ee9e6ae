#ifndef TALVORI_MAILDIRENTRY_H
#define TALVORI_MAILDIRENTRY_H

#include <QByteArray>
#include <QList>
#include <QString>

// One message file of a Maildir folder, as its name describes it: "<unique>" in new/, or
// "<unique>:2,<flags>" in cur/ once a mail reader has seen it. The unique part stays when the
// flags change (the file is renamed), so it identifies the message.
class MaildirEntry
{
public:
    // subdirectory is "cur" or "new".
    static MaildirEntry fromFileName(const QString &subdirectory, const QString &fileName);

    QString uniqueName() const { return m_uniqueName; }
    // Relative to the folder, e.g. "cur/1700000000.M1P2.host:2,S".
    QString relativePath() const { return m_relativePath; }
    // The flags of the info part as the server names them, in a fixed order: "\Seen",
    // "\Answered", "\Flagged", "\Deleted", "\Draft"; letters without a meaning here (P, and
    // anything lower-case) are left out.
    QList<QByteArray> flags() const { return m_flags; }
    // Whether a server flag is one the Maildir expresses, compared without regard to case.
    static bool isMaildirFlag(const QByteArray &flag);

private:
    QString m_uniqueName;
    QString m_relativePath;
    QList<QByteArray> m_flags;
};

#endif
