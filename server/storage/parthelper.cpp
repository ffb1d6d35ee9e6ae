#include "storage/parthelper.h"

#include "common/exception.h"
#include "common/log.h"
#include "storage/datastore.h"
#include "storage/dbconfig.h"
#include "storage/entities.h"
#include "storage/selectquerybuilder.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    // The data store deletes it once the change is committed. A file that cannot be deleted is
    // left behind; no row points at it any more.
    if (!fileName.isEmpty()) {
        DataStore::self()->removeFileOnCommit(fileName);
    }
}

void PartHelper::discardFile(const QString &fileName)
{
    QFile::remove(fileName);
}

bool PartHelper::insert(Part *part, qint64 *insertId)
{
    if (!part) {
        return false;
    }

    const bool external = storeExternally(part->datasize());
    QByteArray data;
    if (external) {
        data = part->data();
        part->setData(QByteArray());
        part->setExternal(true);
    } else {
        part->setExternal(false);
    }

    if (!part->insert(insertId)) {
        return false;
    }
    if (!external) {
        return true;
    }

    const QString fileName = fileNameForId(part->id()) + QLatin1String("_r0");
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        logDebug() << "Insert: payload file " << fileName << " could not be open for writing!";
        return false;
    }
    DataStore::self()->addCreatedFile(fileName);
    if (file.write(data) != data.size()) {
        logDebug() << "Insert: payload file " << fileName << " could not be written to!";
        file.close();
        discardFile(fileName);
        return false;
    }
    file.close();

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

    const QString origFileName = part->external() ? QString::fromUtf8(part->data()) : QString();
    QString newFileName;

    if (storeExternally(dataSize)) {
        QString basePath = origFileName.isEmpty() ? fileNameForId(part->id()) : origFileName;
        int revision = 0;
        const QString fileName = QFileInfo(basePath).fileName();
        const int revisionPos = fileName.lastIndexOf(QLatin1String("_r"));
        if (revisionPos >= 0) {
            revision = fileName.mid(revisionPos + 2).toInt() + 1;
            basePath.chop(fileName.size() - revisionPos);
        }
        newFileName = basePath + QLatin1String("_r") + QString::number(revision);

        QFile file(newFileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            throw PartHelperException(QStringLiteral("Could not open '%1' for writing, error was '%2'")
                                          .arg(newFileName, file.errorString()));
        }
        DataStore::self()->addCreatedFile(newFileName);
        if (file.write(data) != data.size()) {
            const QString error = file.errorString();
            file.close();
            discardFile(newFileName);
            throw PartHelperException(
                QStringLiteral("Failed to write into '%1', error was '%2'").arg(newFileName, error));
        }
        file.close();
        part->setData(newFileName.toLocal8Bit());
        part->setExternal(true);
    } else {
        part->setData(data);
        part->setExternal(false);
    }

    part->setDatasize(dataSize);
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

bool PartHelper::truncate(Part &part)
{
    if (part.external()) {
        removeFile(QString::fromUtf8(part.data()));
    }
    part.setData(QByteArray());
    part.setDatasize(0);
    return part.update();
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
