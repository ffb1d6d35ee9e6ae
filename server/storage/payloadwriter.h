#ifndef TALVORI_PAYLOADWRITER_H
#define TALVORI_PAYLOADWRITER_H

#include <QByteArray>
#include <QString>

#include <memory>

class QTemporaryFile;

// A part's payload while it arrives in pieces, before it has a row. One rule for where the bytes
// go: a payload that will be kept in a file of its own (PartHelper::storeExternally of its
// announced size) goes from its first byte into a temporary file beside the payload files, so no
// payload sits whole in memory; a smaller one collects in memory, and so does a large one when no
// temporary file can be made (PartHelper then writes its file from memory). PartHelper::insert and
// PartHelper::update then move it into place under the part's own file name, inside the
// transaction; a temporary file that never got that far is deleted with the writer, whether the
// command failed or the client left. Where the system allows it the temporary file has no name
// until it is moved into place, so not even a killed server leaves it behind.
class PayloadWriter
{
public:
    explicit PayloadWriter(qint64 announcedSize);
    ~PayloadWriter();
    PayloadWriter(const PayloadWriter &) = delete;
    PayloadWriter &operator=(const PayloadWriter &) = delete;

    // False once a write failed (a full disk, say); what follows is dropped and the payload is
    // unusable, so the caller can read the rest of its input and then fail.
    bool write(const QByteArray &chunk);

    qint64 announcedSize() const { return m_announcedSize; }
    qint64 writtenSize() const { return m_written; }
    bool failed() const { return m_failed; }
    // Whether the bytes are in a temporary file rather than in memory.
    bool hasFile() const { return m_file != nullptr; }
    // The payload of one kept in memory.
    const QByteArray &data() const { return m_data; }

    // For PartHelper: closes the temporary file and moves it to fileName. False with the reason
    // when it cannot.
    bool moveTo(const QString &fileName, QString *error);

private:
    qint64 m_announcedSize;
    qint64 m_written = 0;
    bool m_failed = false;
    QByteArray m_data;
    std::unique_ptr<QTemporaryFile> m_file;
};

#endif
