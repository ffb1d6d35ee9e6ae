#ifndef TALVORI_MEMORYDEVICE_H
#define TALVORI_MEMORYDEVICE_H

#include <QByteArray>
#include <QIODevice>

// A sequential device that serves fixed input and records what is written to it. When the input
// is used up it reports that no more will come, as a closed socket does.
class MemoryDevice : public QIODevice
{
public:
    explicit MemoryDevice(const QByteArray &input);

    QByteArray written() const { return m_written; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool waitForReadyRead(int msecs) override;
    bool waitForBytesWritten(int msecs) override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    QByteArray m_input;
    qint64 m_position = 0;
    QByteArray m_written;
};

#endif
