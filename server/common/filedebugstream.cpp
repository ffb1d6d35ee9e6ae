#include "filedebugstream.h"

#include "log.h"

FileDebugStream::FileDebugStream()
{
    open(QIODevice::WriteOnly);
}

qint64 FileDebugStream::readData(char *, qint64)
{
    return 0;
}

qint64 FileDebugStream::writeData(const char *data, qint64 maxSize)
{
    const QByteArray text(data, maxSize);
    TalvoriLog::appendToLogFile(text);
    qt_message_output(m_type, QMessageLogContext(), QString::fromUtf8(text).trimmed());
    return maxSize;
}
