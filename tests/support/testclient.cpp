#include "testclient.h"

#include <QDebug>
#include <QIODevice>

bool TestClient::open(const QString &socketPath)
{
    if (!connectToServer(socketPath)) {
        fail("connect to " + socketPath.toLocal8Bit(), errorString().toLocal8Bit());
        return false;
    }
    bool ok = false;
    const QByteArray line = readLine(&ok, m_timeoutMs);
    if (!ok || line != greeting()) {
        fail("greeting", ok ? line : QByteArray("none"));
        return false;
    }
    return true;
}

bool TestClient::login(const QByteArray &session)
{
    const QByteArray tag = nextTag();
    const QList<QByteArray> lines = runTagged(tag, "LOGIN " + session);
    if (lines.isEmpty() || lines.last() != tag + " OK User logged in") {
        fail("LOGIN " + session, lines.join('\n'));
        return false;
    }
    return true;
}

void TestClient::logout()
{
    run("LOGOUT");
    disconnectFromServer();
}

QByteArray TestClient::nextTag()
{
    return 't' + QByteArray::number(++m_tag);
}

void TestClient::fail(const QByteArray &command, const QByteArray &answer)
{
    // A failing FETCH may carry megabytes; the start of it says enough.
    m_lastFailure = command.left(100) + ": " + answer.left(2000);
    qWarning().noquote() << QString::fromUtf8(m_lastFailure);
}

QList<QByteArray> TestClient::runTagged(const QByteArray &tag, const QByteArray &command)
{
    send(tag + ' ' + command + "\r\n");
    return readUntilTagged(tag, m_timeoutMs);
}

QList<QByteArray> TestClient::run(const QByteArray &command)
{
    return runTagged(nextTag(), command);
}

QByteArray TestClient::tagged(const QByteArray &command)
{
    const QList<QByteArray> lines = run(command);
    if (lines.isEmpty())
        return QByteArray();
    const QByteArray &last = lines.last();
    return last.mid(last.indexOf(' ') + 1);
}

bool TestClient::runOk(const QByteArray &command, QList<QByteArray> *answer)
{
    const QByteArray tag = nextTag();
    const QList<QByteArray> lines = runTagged(tag, command);
    if (answer)
        *answer = lines;
    if (resultOf(lines, tag) == "OK")
        return true;
    fail(command, lines.isEmpty() ? QByteArray("no answer") : lines.last());
    return false;
}

qint64 TestClient::create(const QByteArray &arguments)
{
    const QByteArray tag = nextTag();
    const QList<QByteArray> lines = runTagged(tag, "CREATE " + arguments);
    ListingLine line;
    if (lines.size() != 2 || lines.last() != tag + " OK CREATE completed" || !line.parse(lines.first())) {
        fail("CREATE " + arguments, lines.join('\n'));
        return -1;
    }
    return line.id;
}

QList<ListingLine> TestClient::list(const QByteArray &command)
{
    const QByteArray tag = nextTag();
    const QList<QByteArray> lines = runTagged(tag, command);
    QList<ListingLine> result;
    for (const QByteArray &text : lines.mid(0, lines.size() - 1)) {
        ListingLine line;
        if (line.parse(text))
            result.append(line);
    }
    if (lines.isEmpty() || lines.last() != tag + " OK List completed")
        fail(command, lines.join('\n'));
    return result;
}

QList<qint64> TestClient::collectionItems(qint64 collection)
{
    if (!runOk("SELECT SILENT " + QByteArray::number(collection)))
        return {};
    const QList<qint64> ids = itemIds(run("FETCH 1:* (UID)"));
    runOk("SELECT SILENT 0");
    return ids;
}

QList<qint64> TestClient::itemIds(const QList<QByteArray> &answer)
{
    QList<qint64> ids;
    for (const QByteArray &line : answer) {
        if (line.startsWith("* "))
            ids.append(line.split(' ').value(1).toLongLong());
    }
    return ids;
}

bool TestClient::isFinal(const QByteArray &tag, const QList<QByteArray> &lines) const
{
    if (lines.isEmpty())
        return false;
    const QByteArray &last = lines.last();
    return last.startsWith(tag + ' ') && !last.startsWith(tag + " [");
}

QList<QByteArray> TestClient::finish(const QByteArray &tag, QList<QByteArray> lines)
{
    while (!isFinal(tag, lines)) {
        const QList<QByteArray> more = readUntilTagged(tag, m_timeoutMs);
        if (more.isEmpty())
            break;
        lines += more;
    }
    lines.removeIf([](const QByteArray &line) { return line.startsWith("+ "); });
    return lines;
}

QList<QByteArray> TestClient::runLiteral(const QByteArray &tag, const QByteArray &prefix, const QByteArray &literal,
                                         const QByteArray &suffix)
{
    return finish(tag, commandWithLiteral(tag, prefix, literal, suffix));
}

QList<QByteArray> TestClient::runLiteral(const QByteArray &tag, const QByteArray &prefix, QIODevice *source,
                                         qint64 size, const QByteArray &suffix)
{
    return finish(tag, commandWithLiteral(tag, prefix, source, size, suffix));
}

qint64 TestClient::uidNext(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines) {
        const qsizetype start = line.indexOf("[UIDNEXT ");
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

qint64 TestClient::tvAppend(qint64 collection, const QByteArray &partList, const QByteArray &data,
                            const QByteArray &flags)
{
    const QByteArray tag = nextTag();
    const QByteArray prefix = "X-TVAPPEND " + QByteArray::number(collection) + ' ' + QByteArray::number(data.size())
                              + ' ' + flags + ' ' + partList + ' ';
    const QList<QByteArray> lines = runLiteral(tag, prefix, data);
    const QByteArray uidLine = tag + " [UIDNEXT ";
    const qint64 id = uidNext(lines);
    const bool expected = lines.size() == 2 && lines.first() == uidLine + QByteArray::number(id) + ']'
                          && lines.last() == tag + " OK Append completed";
    if (id <= 0 || !expected) {
        fail(prefix, lines.join('\n'));
        return -1;
    }
    return id;
}

qint64 TestClient::appendStream(qint64 collection, QIODevice *source, qint64 size)
{
    const QByteArray tag = nextTag();
    const QByteArray prefix = "APPEND " + QByteArray::number(collection) + ' ' + QByteArray::number(size) + ' ';
    const QList<QByteArray> lines = runLiteral(tag, prefix, source, size);
    const qint64 id = uidNext(lines);
    if (resultOf(lines, tag) != "OK" || id <= 0) {
        fail(prefix, lines.join('\n'));
        return -1;
    }
    return id;
}

bool TestClient::storePartStream(qint64 item, QIODevice *source, qint64 size)
{
    const QByteArray tag = nextTag();
    const QByteArray prefix = "UID STORE " + QByteArray::number(item) + " (PLD:RFC822 ";
    const QList<QByteArray> lines = runLiteral(tag, prefix, source, size, ")");
    if (resultOf(lines, tag) != "OK") {
        fail(prefix, lines.join('\n'));
        return false;
    }
    return true;
}
