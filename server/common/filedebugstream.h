#ifndef TALVORI_FILEDEBUGSTREAM_H
#define TALVORI_FILEDEBUGSTREAM_H

#include <QIODevice>

// The device behind the error and fatal log streams. Each finished statement is appended to the
// error log file as one line and passed on to Qt's message output with this stream's type.
// Every thread has its own stream, so the type set when a thread asks for a stream is the type its
// statement is written with, whatever other threads log meanwhile.
class FileDebugStream : public QIODevice
{
public:
    FileDebugStream();

    void setType(QtMsgType type) { m_type = type; }
    QtMsgType type() const { return m_type; }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    QtMsgType m_type = QtCriticalMsg;
};

#endif
