#include "protocolclient.h"

#include <xdgbasedirs.h>

#include <QBuffer>
#include <QRegularExpression>
#include <QSettings>

ProtocolClient::ProtocolClient() = default;

QString ProtocolClient::serverSocketName()
{
    const QSettings connection(XdgBaseDirs::talvoriConnectionConfigFile(), QSettings::IniFormat);
    return connection.value(QStringLiteral("Data/NamedPipe"), QStringLiteral("Talvori")).toString();
}

bool ProtocolClient::connectToServer(const QString &name, int timeoutMs)
{
    m_socket.connectToServer(name);
    return m_socket.waitForConnected(timeoutMs);
}

void ProtocolClient::disconnectFromServer()
{
    m_socket.disconnectFromServer();
    if (m_socket.state() != QLocalSocket::UnconnectedState)
        m_socket.waitForDisconnected(1000);
}

void ProtocolClient::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    while (m_socket.bytesToWrite() > 0) {
        if (!m_socket.waitForBytesWritten(30000))
            break;
    }
}

bool ProtocolClient::fill(int timeoutMs)
{
    if (m_socket.bytesAvailable() <= 0 && !m_socket.waitForReadyRead(timeoutMs))
        return false;
    m_buffer.append(m_socket.readAll());
    return true;
}

QByteArray ProtocolClient::takeRawLine(bool *ok, int timeoutMs)
{
    int end;
    while ((end = m_buffer.indexOf("\r\n")) < 0) {
        if (!fill(timeoutMs)) {
            *ok = false;
            return QByteArray();
        }
    }
    const QByteArray line = m_buffer.left(end);
    m_buffer.remove(0, end + 2);
    *ok = true;
    return line;
}

QByteArray ProtocolClient::readLine(bool *ok, int timeoutMs)
{
    static const QRegularExpression literalAtEnd(QStringLiteral("\\{(\\d+)\\}$"));
    bool lineOk = false;
    QByteArray line = takeRawLine(&lineOk, timeoutMs);
    while (lineOk) {
        const QRegularExpressionMatch match = literalAtEnd.match(QString::fromLatin1(line.right(24)));
        if (!match.hasMatch())
            break;
        const qint64 size = match.captured(1).toLongLong();
        line.append("\r\n");
        while (m_buffer.size() < size) {
            if (!fill(timeoutMs)) {
                lineOk = false;
                break;
            }
        }
        if (!lineOk)
            break;
        line.append(m_buffer.left(int(size)));
        m_buffer.remove(0, int(size));
        QByteArray rest = takeRawLine(&lineOk, timeoutMs);
        line.append(rest);
    }
    if (ok)
        *ok = lineOk;
    return line;
}

QList<QByteArray> ProtocolClient::readUntilTagged(const QByteArray &tag, int timeoutMs)
{
    QList<QByteArray> lines;
    const QByteArray prefix = tag + ' ';
    for (;;) {
        bool ok = false;
        const QByteArray line = readLine(&ok, timeoutMs);
        if (!ok)
            return lines;
        lines.append(line);
        // A tagged line without a status word ("tag [UIDNEXT 5]") comes before the result line.
        if (line.startsWith(prefix) && line.mid(prefix.size(), 1) != "[")
            return lines;
    }
}

QList<QByteArray> ProtocolClient::command(const QByteArray &tag, const QByteArray &command)
{
    send(tag + ' ' + command + "\r\n");
    return readUntilTagged(tag);
}

QList<QByteArray> ProtocolClient::commandWithLiteral(const QByteArray &tag, const QByteArray &prefix, QIODevice *source,
                                                     qint64 size, const QByteArray &suffix)
{
    send(tag + ' ' + prefix + '{' + QByteArray::number(size) + "}\r\n");
    bool ok = false;
    const QByteArray answer = readLine(&ok);
    if (!ok)
        return QList<QByteArray>{};
    // The command may already have failed before its literal was wanted.
    if (answer.startsWith(tag + ' ') && !answer.startsWith(tag + " ["))
        return QList<QByteArray>{answer};
    if (!answer.startsWith("+ "))
        return QList<QByteArray>{answer} + readUntilTagged(tag);

    qint64 left = size;
    while (left > 0) {
        const QByteArray chunk = source->read(qMin<qint64>(left, 64 * 1024));
        if (chunk.isEmpty())
            break;
        send(chunk);
        left -= chunk.size();
    }
    send(suffix + "\r\n");
    return QList<QByteArray>{answer} + readUntilTagged(tag);
}

QList<QByteArray> ProtocolClient::commandWithLiteral(const QByteArray &tag, const QByteArray &prefix,
                                                     const QByteArray &literal, const QByteArray &suffix)
{
    QByteArray copy = literal;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return commandWithLiteral(tag, prefix, &buffer, literal.size(), suffix);
}

QByteArray ProtocolClient::resultOf(const QList<QByteArray> &lines, const QByteArray &tag)
{
    const QByteArray prefix = tag + ' ';
    for (const QByteArray &line : lines) {
        if (line.startsWith(prefix) && line.mid(prefix.size(), 1) != "[") {
            const QByteArray rest = line.mid(prefix.size());
            const int space = rest.indexOf(' ');
            return space < 0 ? rest : rest.left(space);
        }
    }
    return QByteArray();
}
