#include "memorydevice.h"

#include <cstring>

MemoryDevice::MemoryDevice(const QByteArray &input)
    : m_input(input)
{
    open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

qint64 MemoryDevice::bytesAvailable() const
{
    return m_input.size() - m_position + QIODevice::bytesAvailable();
}

bool MemoryDevice::waitForReadyRead(int)
{
    return m_position < m_input.size();
}

bool MemoryDevice::waitForBytesWritten(int)
{
    return true;
}

qint64 MemoryDevice::readData(char *data, qint64 maxSize)
{
    const qint64 count = qMin(maxSize, m_input.size() - m_position);
    std::memcpy(data, m_input.constData() + m_position, size_t(count));
    m_position += count;
    return count;
}

qint64 MemoryDevice::writeData(const char *data, qint64 maxSize)
{
    m_written.append(data, maxSize);
    return maxSize;
}
