#include "append.h"

#include "handlersupport.h"

#include "protocol/imapstreamparser.h"
#include "storage/parthelper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Talvori;

void Append::readPayload()
{
    if (!m_streamParser->hasLiteral()) {
        m_payload = m_streamParser->readString();
        return;
    }

    m_literalSize = m_streamParser->remainingLiteralSize();
    m_size = qMax(m_size, m_literalSize);

    if (PartHelper::storeExternally(m_literalSize)) {
        // Beside the payload files, so that it can be renamed into place rather than copied.
        QDir().mkpath(PartHelper::storagePath());
        auto file = std::make_unique<QTemporaryFile>(PartHelper::storagePath() + QStringLiteral("/append-XXXXXX"));
        if (file->open()) {
            while (!m_streamParser->atLiteralEnd()) {
                const QByteArray chunk = m_streamParser->readLiteralPart();
                if (file->write(chunk) != chunk.size()) {
                    // A full disk must not turn into a truncated payload: keep reading so the
                    // command ends cleanly, and fail it when the file is moved into place.
                    file->close();
                    file->remove();
                    while (!m_streamParser->atLiteralEnd())
                        m_streamParser->readLiteralPart();
                    break;
                }
            }
            file->close();
            m_payloadFile = std::move(file);
            return;
        }
    }

    m_payload.reserve(m_literalSize);
    while (!m_streamParser->atLiteralEnd())
        m_payload.append(m_streamParser->readLiteralPart());
}

QDateTime Append::itemDateTime(const QDateTime &sent) const
{
    return sent.isValid() ? sent.toUTC() : QDateTime::currentDateTimeUtc();
}

QList<Part> Append::parts()
{
    return {Part(0, QStringLiteral("PLD:RFC822"), m_payload, m_literalSize, 0, false)};
}

bool Append::finishParts(QList<Part> &parts)
{
    if (!m_payloadFile)
        return true;

    // The data store wrote an empty placeholder file for the payload part; the streamed payload
    // takes its place under the same name.
    const QString target = QString::fromUtf8(parts.first().data());
    if (!QFile::remove(target))
        return failureResponse("Unable to remove item part file");
    // A short file means the payload did not reach the disk whole.
    const QFileInfo streamed(m_payloadFile->fileName());
    if (!streamed.exists() || streamed.size() != m_literalSize)
        return failureResponse("Unable to copy item part data from the temporary file");
    if (QFile::rename(m_payloadFile->fileName(), target)) {
        m_payloadFile->setAutoRemove(false);
        return true;
    }
    if (!QFile::copy(m_payloadFile->fileName(), target))
        return failureResponse("Unable to copy item part data from the temporary file");
    return true;
}

QByteArray Append::appendedText(const PimItem &item) const
{
    return AppendHandler::appendedText(item) + " DATETIME " + HandlerSupport::quotedDateTime(item.datetime());
}
