#ifndef TALVORI_PATTERNDEVICE_H
#define TALVORI_PATTERNDEVICE_H

#include <QCryptographicHash>
#include <QIODevice>

// A read-only stream of size bytes of text made up on the fly: lines of 76 base64 letters and
// CR LF, drawn from a seeded generator. Lets a benchmark upload hundreds of MiB without holding
// them; it hashes what it hands out, so the stored copy can be checked afterwards.
class PatternDevice : public QIODevice
{
    Q_OBJECT
public:
    PatternDevice(qint64 size, quint64 seed, QObject *parent = nullptr);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_size - m_position + QIODevice::bytesAvailable(); }
    qint64 size() const override { return m_size; }
    bool atEnd() const override { return m_position >= m_size && QIODevice::bytesAvailable() == 0; }

    // SHA-1 of the bytes read so far (the whole stream once it has been read to its end).
    QByteArray sha1() const { return m_hash.result(); }

    // A stable seed for a text (FNV-1a), the same on every machine and run.
    static quint64 seedOf(const QByteArray &text);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 m_size;
    quint64 m_seed;
    qint64 m_position = 0;
    QCryptographicHash m_hash{QCryptographicHash::Sha1};
};

#endif
