#include "benchclient.h"

#include <QBuffer>

bool BenchClient::open(const QString &socketPath, const QByteArray &session)
{
    if (!m_client.connectToServer(socketPath)) {
        m_lastFailure = "cannot connect: " + m_client.errorString().toLocal8Bit();
        return false;
    }
    bool ok = false;
    const QByteArray greeting = m_client.readLine(&ok);
    if (!ok || !greeting.startsWith("* OK")) {
        m_lastFailure = "no greeting: " + greeting;
        return false;
    }
    return run("LOGIN " + session);
}

void BenchClient::close()
{
    run("LOGOUT");
    m_client.disconnectFromServer();
}

QByteArray BenchClient::nextTag()
{
    return 'b' + QByteArray::number(++m_tag);
}

bool BenchClient::finish(const QByteArray &tag, QList<QByteArray> lines, QList<QByteArray> *all)
{
    const QByteArray prefix = tag + ' ';
    for (;;) {
        if (lines.isEmpty() || !lines.last().startsWith(prefix)) {
            m_lastFailure = tag + ": no complete answer";
            return false;
        }
        const QByteArray status = lines.last().mid(prefix.size());
        if (status.startsWith("OK ") || status == "OK") {
            if (all)
                *all = lines;
            return true;
        }
        if (status.startsWith("NO") || status.startsWith("BAD")) {
            m_lastFailure = lines.last();
            return false;
        }
        lines += m_client.readUntilTagged(tag, 300000);
    }
}

bool BenchClient::run(const QByteArray &command, QList<QByteArray> *lines)
{
    const QByteArray tag = nextTag();
    m_client.send(tag + ' ' + command + "\r\n");
    if (!finish(tag, m_client.readUntilTagged(tag, 300000), lines)) {
        m_lastFailure = command.left(60) + ": " + m_lastFailure;
        return false;
    }
    return true;
}

qint64 BenchClient::uidNext(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines) {
        const int start = line.indexOf("[UIDNEXT ");
        if (start < 0)
            continue;
        const qsizetype from = start + 9;
        qsizetype end = from;
        while (end < line.size() && line.at(end) >= '0' && line.at(end) <= '9')
            ++end;
        bool ok = false;
        const qint64 id = line.mid(from, end - from).toLongLong(&ok);
        return ok ? id : -1;
    }
    return -1;
}

qint64 BenchClient::createCollection(const QByteArray &name)
{
    QList<QByteArray> lines;
    if (!run("CREATE \"" + name + "\" 0 (MIMETYPE (message/rfc822))", &lines))
        return -1;
    // "* <id> <parent> (NAME ...)"
    for (const QByteArray &line : std::as_const(lines)) {
        if (line.startsWith("* ")) {
            bool ok = false;
            const qint64 id = line.mid(2, line.indexOf(' ', 2) - 2).toLongLong(&ok);
            if (ok)
                return id;
        }
    }
    m_lastFailure = "CREATE: no collection line";
    return -1;
}

qint64 BenchClient::appendPart(qint64 collection, const QByteArray &payload)
{
    const QByteArray tag = nextTag();
    const QByteArray size = QByteArray::number(payload.size());
    // The empty flag list is needed: without it the part list would be read as the flags.
    const QByteArray prefix = "X-TVAPPEND " + QByteArray::number(collection) + ' ' + size + " () (PLD:RFC822 :" + size + ") ";
    QList<QByteArray> lines;
    if (!finish(tag, m_client.commandWithLiteral(tag, prefix, payload), &lines))
        return -1;
    return uidNext(lines);
}

qint64 BenchClient::appendStream(qint64 collection, QIODevice *source, qint64 size)
{
    const QByteArray tag = nextTag();
    const QByteArray prefix = "APPEND " + QByteArray::number(collection) + ' ' + QByteArray::number(size) + ' ';
    QList<QByteArray> lines;
    if (!finish(tag, m_client.commandWithLiteral(tag, prefix, source, size), &lines))
        return -1;
    return uidNext(lines);
}

bool BenchClient::storePartStream(qint64 item, QIODevice *source, qint64 size)
{
    const QByteArray tag = nextTag();
    const QByteArray prefix = "UID STORE " + QByteArray::number(item) + " (PLD:RFC822 ";
    return finish(tag, m_client.commandWithLiteral(tag, prefix, source, size, ")"));
}
