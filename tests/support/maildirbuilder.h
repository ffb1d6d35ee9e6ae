#ifndef TALVORI_MAILDIRBUILDER_H
#define TALVORI_MAILDIRBUILDER_H

#include <QByteArray>
#include <QString>

// Lays out a Maildir for a test or a benchmark: folders with cur/, new/ and tmp/ (the root, or a
// Maildir++ subfolder such as ".Archive"), and message files named the way mail readers name them,
// "<unique>" in new/ and "<unique>:2,<flags>" in cur/.
class MaildirBuilder
{
public:
    explicit MaildirBuilder(const QString &root);

    QString root() const { return m_root; }
    // folder "" is the root. False when a directory cannot be made.
    bool addFolder(const QString &folder = QString());
    // Writes a message into the folder, in new/ when inNew, otherwise in cur/ with the flag letters
    // ("S", "FRS"); its path, or empty when it cannot be written.
    QString addMessage(const QString &folder, const QString &unique, const QByteArray &content,
                       const QString &flags = QString(), bool inNew = false);
    // The path a message of the folder has with these flags (cur/) or in new/.
    QString messagePath(const QString &folder, const QString &unique, const QString &flags, bool inNew) const;
    // A unique name as a delivery agent makes one, different for every index.
    static QString uniqueName(int index);

private:
    QString folderPath(const QString &folder) const;

    QString m_root;
};

#endif
