#include "agentconnection.h"

#include <imapparser.h>
#include <xdgbasedirs.h>

#include <QDebug>
#include <QSettings>

namespace {

constexpr int AnswerTimeoutMs = 10000;

// The named part's data in a FETCH line ("* 5 FETCH (UID 5 ... PLD:RFC822 {n}\r\n...)"); the part
// name may carry a version ("PLD:RFC822[1]"). False when the line has no such part.
bool partOfFetchLine(const QByteArray &line, const QByteArray &name, QByteArray *data)
{
    const qsizetype open = line.indexOf(" FETCH (");
    if (!line.startsWith("* ") || open < 0)
        return false;
    QList<QByteArray> fields;
    ImapParser::parseParenthesizedList(line, fields, int(open) + 7);
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QByteArray key;
        int version = 0;
        ImapParser::splitVersionedKey(fields.at(i), key, version);
        if (key == name) {
            *data = fields.at(i + 1);
            return true;
        }
    }
    return false;
}

} // namespace

AgentConnection::AgentConnection(const QString &session)
    : m_session(session.toUtf8())
{
}

bool AgentConnection::open()
{
    close();
    const QSettings connection(XdgBaseDirs::talvoriConnectionConfigFile(XdgBaseDirs::ReadOnly), QSettings::IniFormat);
    const QString pipe = connection.value(QStringLiteral("Data/NamedPipe")).toString();
    if (pipe.isEmpty() || !m_client.connectToServer(pipe, 2000))
        return false;
    // The greeting comes once the server has finished starting; only then are its bus objects
    // there to register with.
    bool ok = false;
    const QByteArray greeting = m_client.readLine(&ok, AnswerTimeoutMs);
    if (!ok || !greeting.startsWith("* OK")) {
        m_client.disconnectFromServer();
        return false;
    }
    m_open = true;
    return run("LOGIN " + ImapParser::quote(m_session)) == Result::Done;
}

void AgentConnection::close()
{
    if (m_open)
        m_client.disconnectFromServer();
    m_open = false;
}

AgentConnection::Result AgentConnection::fail()
{
    close();
    return Result::Failed;
}

AgentConnection::Result AgentConnection::run(const QByteArray &command, QList<QByteArray> *lines)
{
    if (!m_open)
        return Result::Failed;
    const QByteArray tag = 'h' + QByteArray::number(++m_tag);
    m_client.send(tag + ' ' + command + "\r\n");
    QList<QByteArray> answer = m_client.readUntilTagged(tag, AnswerTimeoutMs);
    const QByteArray result = answer.isEmpty() ? QByteArray() : answer.takeLast();
    if (!result.startsWith(tag + ' '))
        return fail(); // no answer in time, or the server went away
    const QByteArray status = result.mid(tag.size() + 1);
    if (lines)
        *lines = answer;
    if (status.startsWith("OK"))
        return Result::Done;
    if (status.startsWith("NO No items found"))
        return Result::Missing;
    qWarning().noquote() << "talvori-header-preprocessor:" << command.left(80) << "got" << status;
    return Result::Failed;
}

AgentConnection::Result AgentConnection::fetchMessage(qint64 item, QByteArray *message)
{
    QList<QByteArray> lines;
    const Result result = run("UID FETCH " + QByteArray::number(item) + " (PLD:RFC822)", &lines);
    if (result != Result::Done)
        return result;
    for (const QByteArray &line : std::as_const(lines)) {
        if (partOfFetchLine(line, "PLD:RFC822", message))
            return Result::Done;
    }
    // FETCH answers OK with no line at all for an item that is not there.
    return lines.isEmpty() ? Result::Missing : Result::Done;
}

AgentConnection::Result AgentConnection::addFlags(qint64 item, const QList<QByteArray> &flags)
{
    return run("UID STORE " + QByteArray::number(item) + " (+FLAGS.SILENT (" + ImapParser::join(flags, " ") + "))");
}
