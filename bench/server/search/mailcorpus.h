#ifndef TALVORI_BENCH_MAILCORPUS_H
#define TALVORI_BENCH_MAILCORPUS_H

#include <QByteArray>
#include <QList>
#include <QString>

// Deterministic mails that look like a real mailbox to an indexer: a few hundred correspondents of
// whom some write far more than others, subjects and bodies of words drawn with Zipf's law from a
// vocabulary of common English words and a long tail of rarer ones, replies with quoted text,
// signatures, dates over ten years in several time zones, and the encodings mail programs use:
// plain 8-bit UTF-8, quoted-printable (UTF-8 and Latin-1), base64, multipart/alternative with an
// HTML part, encoded-word headers with non-ASCII names and subjects, and binary attachments. The
// same seed and index always give the same message; every body carries a word of its own
// (reference(index)).
class MailCorpus
{
public:
    explicit MailCorpus(quint32 seed = 22);

    QByteArray message(int index) const;

    struct Person {
        QString name;
        QByteArray address;
    };
    // Correspondent k; 0 writes the most.
    Person person(int k) const;
    // The vocabulary word of rank r; 0 is the most frequent.
    QByteArray word(int rank) const;
    // The word only message index has in its body.
    QByteArray reference(int index) const;
    // The Message-ID of message index, without brackets.
    QByteArray messageId(int index) const;

    static int vocabularySize();
    static int people();

private:
    quint32 m_seed;
};

#endif
