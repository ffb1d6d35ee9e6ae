#include "storage/parthelper.h"

#include "common/exception.h"
#include "common/log.h"
#include "storage/dbconfig.h"
#include "storage/entities.h"
#include "storage/payloadwriter.h"
#include "storage/queryhelper.h"
#include "storage/selectquerybuilder.h"
#include "storage/transactionfiles.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

using namespace Talvori;

QString PartHelper::storagePath()
{
    return XdgBaseDirs::saveDir("data", QStringLiteral("talvori/file_db_data"));
}

QString PartHelper::fileNameForId(qint64 id)
{
    return storagePath() + QDir::separator() + QString::number(id);
}

bool PartHelper::storeExternally(qint64 dataSize)
{
    const DbConfig *config = DbConfig::configuredDatabase();
    return config->useExternalPayloadFile() && dataSize > config->sizeThreshold();
}

void PartHelper::removeFile(const QString &fileName)
{
    // A file that cannot be deleted is left behind; no row points at it any more.
    if (!fileName.isEmpty()) {
        TransactionFiles::current().removeOnCommit(fileName);
    }
}

void PartHelper::discardFile(const QString &fileName)
{
    QFile::remove(fileName);
}

bool PartHelper::copyInto(QFile &file, const QString &sourceFileName, QString *error)
{
    QFile source(sourceFileName);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = source.errorString();
        return false;
    }
#ifdef Q_OS_LINUX
    // The kernel copies from file to file without the bytes passing through here (or shares the
    // blocks where the file system can); when it cannot, the loop below does.
    if (file.flush()) {
        qint64 copied = 0;
        for (;;) {
            const ssize_t n = ::copy_file_range(source.handle(), nullptr, file.handle(), nullptr, size_t(1) << 30, 0);
            if (n > 0) {
                copied += n;
                continue;
            }
            if (n == 0)
                return true;
            if (copied > 0 || (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)) {
                *error = QString::fromLocal8Bit(strerror(errno));
                return false;
            }
            break;
        }
    }
#endif
    QByteArray buffer(qsizetype(1) << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(buffer.data(), buffer.size());
        if (read < 0) {
            *error = source.errorString();
            return false;
        }
        if (read == 0)
            return true;
        if (file.write(buffer.constData(), read) != read) {
            *error = file.errorString();
            return false;
        }
    }
}

PartHelper::PlaceFailure PartHelper::placeFile(const QString &fileName, const Payload &payload, QString *error)
{
    if (payload.writer && payload.writer->hasFile()) {
        if (!payload.writer->moveTo(fileName, error)) {
            return PlaceFailure::Open;
        }
        TransactionFiles::current().created(fileName);
        return PlaceFailure::None;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return PlaceFailure::Open;
    }
    TransactionFiles::current().created(fileName);
    const bool written = payload.sourceFile ? copyInto(file, *payload.sourceFile, error)
                                            : file.write(*payload.data) == payload.data->size();
    if (!written || !file.flush()) {
        if (error->isEmpty())
            *error = file.errorString();
        file.close();
        discardFile(fileName);
        return PlaceFailure::Write;
    }
    return PlaceFailure::None;
}

QString PartHelper::nextRevisionFileName(const Part &part)
{
    QString basePath = part.external() && !part.data().isEmpty() ? QString::fromUtf8(part.data())
                                                                  : fileNameForId(part.id());
    int revision = 0;
    const QString fileName = QFileInfo(basePath).fileName();
    const int revisionPos = fileName.lastIndexOf(QLatin1String("_r"));
    if (revisionPos >= 0) {
        revision = fileName.mid(revisionPos + 2).toInt() + 1;
        basePath.chop(fileName.size() - revisionPos);
    }
    return basePath + QLatin1String("_r") + QString::number(revision);
}

bool PartHelper::insert(Part *part, qint64 *insertId)
{
    if (!part) {
        return false;
    }
    const QByteArray data = part->data();
    return insert(part, Payload{&data, nullptr, part->datasize()}, insertId);
}

bool PartHelper::insert(Part *part, PayloadWriter &payload, qint64 *insertId)
{
    if (!part || payload.failed()) {
        return false;
    }
    const qint64 size = qMax(part->datasize(), payload.writtenSize());
    part->setDatasize(size);
    return insert(part, Payload{&payload.data(), &payload, size}, insertId);
}

bool PartHelper::insertCopy(Part *part, const Part &source)
{
    part->setDatasize(source.datasize());
    if (!source.external()) {
        const QByteArray data = source.data();
        return insert(part, Payload{&data, nullptr, source.datasize()}, nullptr);
    }
    const QString sourceFile = QString::fromUtf8(source.data());
    if (storeExternally(source.datasize())) {
        const QByteArray none;
        return insert(part, Payload{&none, nullptr, source.datasize(), &sourceFile}, nullptr);
    }
    // Kept in a file under an earlier, smaller threshold: the copy follows today's.
    QFile file(sourceFile);
    if (!file.open(QIODevice::ReadOnly)) {
        logDebug() << "Payload file " << sourceFile << " could not be open for reading!";
        return false;
    }
    const QByteArray data = file.readAll();
    return insert(part, Payload{&data, nullptr, source.datasize()}, nullptr);
}

bool PartHelper::insert(Part *part, const Payload &payload, qint64 *insertId)
{
    // A writer with a file has already decided so by the size it was announced, and a copied file
    // by the size of its source.
    const bool external =
        (payload.writer && payload.writer->hasFile()) || payload.sourceFile || storeExternally(payload.size);
    part->setExternal(external);
    part->setData(external ? QByteArray() : *payload.data);

    if (!part->insert(insertId)) {
        return false;
    }
    if (!external) {
        return true;
    }

    const QString fileName = fileNameForId(part->id()) + QLatin1String("_r0");
    QString error;
    switch (placeFile(fileName, payload, &error)) {
    case PlaceFailure::None:
        break;
    case PlaceFailure::Open:
        logDebug() << "Insert: payload file " << fileName << " could not be open for writing!";
        return false;
    case PlaceFailure::Write:
        logDebug() << "Insert: payload file " << fileName << " could not be written to!";
        logDebug() << "Error: " << error;
        return false;
    }
    part->setData(fileName.toLocal8Bit());
    if (!part->update()) {
        discardFile(fileName);
        return false;
    }
    return true;
}

void PartHelper::update(Part *part, const QByteArray &data, qint64 dataSize)
{
    if (!part) {
        throw PartHelperException("Invalid part");
    }
    update(part, Payload{&data, nullptr, dataSize});
}

void PartHelper::update(Part *part, PayloadWriter &payload)
{
    if (!part) {
        throw PartHelperException("Invalid part");
    }
    if (payload.failed()) {
        throw PartHelperException("Failed to receive the part's data");
    }
    update(part, Payload{&payload.data(), &payload, payload.writtenSize()});
}

void PartHelper::update(Part *part, const Payload &payload)
{
    const QString origFileName = part->external() ? QString::fromUtf8(part->data()) : QString();
    QString newFileName;

    const bool external = (payload.writer && payload.writer->hasFile()) || storeExternally(payload.size);
    if (external) {
        newFileName = nextRevisionFileName(*part);
        QString error;
        switch (placeFile(newFileName, payload, &error)) {
        case PlaceFailure::None:
            break;
        case PlaceFailure::Open:
            throw PartHelperException(
                QStringLiteral("Could not open '%1' for writing, error was '%2'").arg(newFileName, error));
        case PlaceFailure::Write:
            throw PartHelperException(
                QStringLiteral("Failed to write into '%1', error was '%2'").arg(newFileName, error));
        }
        part->setData(newFileName.toLocal8Bit());
        part->setExternal(true);
    } else {
        part->setData(*payload.data);
        part->setExternal(false);
    }

    part->setDatasize(payload.size);
    if (!part->update()) {
        // The row still names the old file (or its old payload); the new file belongs to no row.
        discardFile(newFileName);
        throw PartHelperException("Failed to update database record");
    }
    if (!origFileName.isEmpty() && origFileName != newFileName) {
        removeFile(origFileName);
    }
}

bool PartHelper::remove(Part *part)
{
    if (!part) {
        return false;
    }
    if (part->external()) {
        removeFile(QString::fromUtf8(part->data()));
    }
    return part->remove();
}

bool PartHelper::remove(const QString &column, const QVariant &value)
{
    SelectQueryBuilder<Part> qb;
    qb.addValueCondition(column, Query::Equals, value);
    qb.addValueCondition(Part::externalColumn(), Query::Equals, true);
    if (!qb.exec()) {
        return false;
    }
    const QList<Part> parts = qb.result();
    for (const Part &part : parts) {
        removeFile(QString::fromUtf8(part.data()));
    }
    return Part::remove(column, value);
}

bool PartHelper::removeItemParts(const ImapSet &itemIds)
{
    if (itemIds.isEmpty())
        return true;
    SelectQueryBuilder<Part> qb;
    QueryHelper::setToQuery(itemIds, Part::pimItemIdFullColumnName(), qb);
    qb.addValueCondition(Part::externalFullColumnName(), Query::Equals, true);
    if (!qb.exec())
        return false;
    const QList<Part> parts = qb.result();
    for (const Part &part : parts)
        removeFile(QString::fromUtf8(part.data()));

    QueryBuilder remove(Part::tableName(), QueryBuilder::DeleteStatement);
    QueryHelper::setToQuery(itemIds, Part::pimItemIdColumn(), remove);
    if (!remove.exec())
        return false;
    Part::invalidateCompleteCache();
    return true;
}

bool PartHelper::truncate(Part &part)
{
    if (part.external()) {
        removeFile(QString::fromUtf8(part.data()));
    }
    part.setData(QByteArray());
    part.setDatasize(0);
    return part.update();
}

PartHelper::FileCheck PartHelper::checkFiles()
{
    FileCheck check;
    SelectQueryBuilder<Part> qb;
    qb.addValueCondition(Part::externalColumn(), Query::Equals, true);
    if (!qb.exec())
        return check;
    QSet<QString> named;
    const QList<Part> parts = qb.result();
    for (const Part &part : parts) {
        const QString path = QString::fromUtf8(part.data());
        named.insert(QFileInfo(path).fileName());
        if (!QFileInfo::exists(path))
            check.missing.append(QStringLiteral("%1 %2 %3").arg(part.pimItemId()).arg(part.name(), path));
    }

    // Only what this class writes: "<part id>_r<revision>" and the uploads' "pending-XXXXXX".
    static const QRegularExpression payloadName(QStringLiteral("^(\\d+_r\\d+|pending-.+)$"));
    QDir directory(storagePath());
    const QStringList files = directory.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &file : files) {
        if (!named.contains(file) && payloadName.match(file).hasMatch() && directory.remove(file))
            ++check.removed;
    }
    check.done = true;
    return check;
}

QByteArray PartHelper::translateData(const QByteArray &data, bool isExternal)
{
    if (!isExternal) {
        return data;
    }
    const QString fileName = QString::fromUtf8(data);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        logDebug() << "Payload file " << fileName << " could not be open for reading!";
        logDebug() << "Error: " << file.errorString();
        return QByteArray();
    }
    return file.readAll();
}

QByteArray PartHelper::translateData(const Part &part)
{
    return translateData(part.data(), part.external());
}

QString PartHelper::namePrefixExpression()
{
    return QStringLiteral("substr( %1, 1, 4 )").arg(Part::nameFullColumnName());
}
