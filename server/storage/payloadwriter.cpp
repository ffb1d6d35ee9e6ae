#include "storage/payloadwriter.h"

#include "common/log.h"
#include "storage/parthelper.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace {
// What a payload kept in memory reserves at most before its bytes have arrived: the size comes
// from the client.
constexpr qint64 ReserveLimit = 1024 * 1024;
}

PayloadWriter::PayloadWriter(qint64 announcedSize)
    : m_announcedSize(announcedSize)
{
    if (PartHelper::storeExternally(announcedSize)) {
        // Beside the payload files, so that it is renamed into place rather than copied.
        QDir().mkpath(PartHelper::storagePath());
        auto file = std::make_unique<QTemporaryFile>(PartHelper::storagePath() + QStringLiteral("/pending-XXXXXX"));
        if (file->open()) {
            m_file = std::move(file);
            return;
        }
        logDebug() << "Payload file" << file->fileTemplate() << "could not be created:" << file->errorString();
    }
    m_data.reserve(qMin(announcedSize, ReserveLimit));
}

PayloadWriter::~PayloadWriter() = default;

bool PayloadWriter::write(const QByteArray &chunk)
{
    if (m_failed)
        return false;
    if (!m_file) {
        m_data.append(chunk);
    } else if (m_file->write(chunk) != chunk.size()) {
        logDebug() << "Payload file" << m_file->fileName() << "could not be written to:" << m_file->errorString();
        m_failed = true;
        // Its bytes are of no use any more; the space goes back at once.
        m_file->close();
        m_file->remove();
        return false;
    }
    m_written += chunk.size();
    return true;
}

bool PayloadWriter::moveTo(const QString &fileName, QString *error)
{
    if (m_failed || !m_file || !m_file->flush()) {
        *error = m_file ? m_file->errorString() : QStringLiteral("no data was received");
        return false;
    }
    m_file->close();
    QFile::remove(fileName);
    if (!m_file->rename(fileName)) {
        *error = m_file->errorString();
        return false;
    }
    // It is the part's file now; the transaction decides whether it stays.
    m_file->setAutoRemove(false);
    m_file.reset();
    return true;
}
