#include "fileplugininterface.h"

#include <graphdocument.h>

#include <daxi18n.h>
#include <daxsavefile.h>

#include <QFile>

#include <memory>

namespace Grix {

FilePluginInterface::FilePluginInterface(const DaxComponentData &component, QObject *parent)
    : QObject(parent)
{
    Q_UNUSED(component)
}

FilePluginInterface::~FilePluginInterface() = default;

QString FilePluginInterface::lastError()
{
    return m_lastError.isEmpty() ? QStringLiteral("Default Error.") : m_lastError;
}

GraphDocument *FilePluginInterface::readDocument(const QString &fileName,
                                                 const std::function<bool(QIODevice &, GraphDocument &, QString &)> &read)
{
    QString &error = m_lastError;
    m_readWarnings.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = i18n("Cannot open the file %1. Error: %2", fileName, file.errorString());
        return nullptr;
    }
    auto document = std::make_unique<GraphDocument>(QStringLiteral("Untitled"), 800, 600);
    if (!read(file, *document, error))
        return nullptr;
    return document.release();
}

bool FilePluginInterface::writeDocument(const QString &fileName, const std::function<bool(QIODevice &, QString &)> &write)
{
    QString &error = m_lastError;
    DaxSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        error = i18n("Cannot open file %1 to write the document. Error: %2", fileName, file.errorString());
        return false;
    }
    if (!write(file, error))
        return false;
    if (!file.finalize()) {
        error = i18n("Cannot open file %1 to write the document. Error: %2", fileName, file.errorString());
        return false;
    }
    return true;
}

}
