#include "datafacade.h"

#include "geodatadocument.h"
#include "geodatatreemodel.h"
#include "kmlreader.h"

#include <QFile>
#include <QFileInfo>

namespace Mondri {

DataFacade::DataFacade(QObject *parent)
    : QObject(parent)
{
}

DataFacade::~DataFacade()
{
    // The model refers into the document, so it goes first.
    m_model.reset();
}

bool DataFacade::loadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return false;
    }
    if (!load(&file))
        return false;
    // Icons and other links in the file are relative to where it lies.
    m_document->setBaseDirectory(QFileInfo(path).absolutePath());
    return true;
}

bool DataFacade::load(QIODevice *device)
{
    KmlReader reader;
    reader.setStrict(m_strict);
    auto document = reader.read(device);
    if (!document) {
        m_error = reader.errorString();
        return false;
    }
    m_error.clear();
    m_warnings = reader.warnings();
    take(std::move(document));
    return true;
}

void DataFacade::clear()
{
    take(nullptr);
}

void DataFacade::take(std::unique_ptr<GeoDataDocument> document)
{
    m_model.reset();
    m_document = std::move(document);
    if (m_document)
        m_model = std::make_unique<GeoDataTreeModel>(m_document.get());
    Q_EMIT contentChanged();
}

} // namespace Mondri
