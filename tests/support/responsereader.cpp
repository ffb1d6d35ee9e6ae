#include "responsereader.h"

#include <QLocalSocket>

ResponseReader::ResponseReader(QLocalSocket *socket)
    : m_socket(socket)
{
}

bool ResponseReader::fill(int timeoutMs)
{
    if (m_socket->bytesAvailable() <= 0 && !m_socket->waitForReadyRead(timeoutMs))
        return false;
    // Drop what was handed out before the buffer grows again, so it stays about one batch large.
    if (m_position > 0 && m_position >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_position);
        m_position = 0;
    }
    const qint64 available = m_socket->bytesAvailable();
    const qsizetype oldSize = m_buffer.size();
    m_buffer.resize(oldSize + available);
    const qint64 got = m_socket->read(m_buffer.data() + oldSize, available);
    m_buffer.resize(oldSize + qMax<qint64>(0, got));
    return got > 0;
}

qsizetype ResponseReader::logicalLineEnd() const
{
    qsizetype from = m_position;
    for (;;) {
        const qsizetype end = m_buffer.indexOf("\r\n", from);
        if (end < 0)
            return -1;
        // A raw line ending in "{n}" is followed by n bytes of literal, then the line goes on.
        if (end > from && m_buffer.at(end - 1) == '}') {
            qsizetype open = end - 2;
            while (open >= from && m_buffer.at(open) >= '0' && m_buffer.at(open) <= '9')
                --open;
            if (open >= from && open < end - 2 && m_buffer.at(open) == '{') {
                const qsizetype size = QByteArrayView(m_buffer).sliced(open + 1, end - 2 - open).toLongLong();
                from = end + 2 + size;
                if (from > m_buffer.size())
                    return -1;
                continue;
            }
        }
        return end;
    }
}

bool ResponseReader::readLine(QByteArrayView *line, int timeoutMs)
{
    qsizetype end;
    while ((end = logicalLineEnd()) < 0) {
        if (!fill(timeoutMs))
            return false;
    }
    *line = QByteArrayView(m_buffer).sliced(m_position, end - m_position);
    m_position = end + 2;
    return true;
}
