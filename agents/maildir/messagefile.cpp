#include "messagefile.h"

#include <QFile>

namespace {

// A header longer than this is cut here: it is only what is cached before the whole message is
// asked for.
constexpr qint64 maxHeaderSize = 1024 * 1024;
constexpr qint64 readChunk = 16 * 1024;

// The end of the header: just past the first empty line, or -1 while none is in data.
qsizetype headerEnd(const QByteArray &data)
{
    if (data.startsWith("\r\n"))
        return 2;
    if (data.startsWith('\n'))
        return 1;
    const qsizetype crlf = data.indexOf("\r\n\r\n");
    const qsizetype lf = data.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 1 < lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

bool isFieldNameCharacter(char c)
{
    return c > 32 && c < 127 && c != ':';
}

} // namespace

namespace MessageFile {

bool read(const QString &path, QByteArray *message, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *message = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool readHeader(const QString &path, QByteArray *header, qint64 *size, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *size = file.size();
    QByteArray data;
    qsizetype end = -1;
    while (end < 0 && data.size() < maxHeaderSize) {
        const QByteArray chunk = file.read(readChunk);
        if (chunk.isEmpty())
            break;
        data += chunk;
        end = headerEnd(data);
    }
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    *error = damage(data);
    if (!error->isEmpty())
        return false;
    *header = end < 0 ? data : data.left(end);
    return true;
}

QByteArray header(const QByteArray &message)
{
    const qsizetype end = headerEnd(message.left(maxHeaderSize));
    return end < 0 ? message.left(maxHeaderSize) : message.left(end);
}

QString damage(const QByteArray &start)
{
    if (start.isEmpty())
        return QStringLiteral("the file is empty");
    qsizetype name = 0;
    while (name < start.size() && isFieldNameCharacter(start.at(name)))
        ++name;
    if (name == 0 || name >= start.size() || start.at(name) != ':')
        return QStringLiteral("it does not begin with a header field");
    return QString();
}

} // namespace MessageFile
