#include "datafacade.h"

#include "geodatadocument.h"
#include "geodatatreemodel.h"
#include "kmlreader.h"

#include <QFile>

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
    return load(&file);
}

bool DataFacade::load(QIODevice *device)
{
    KmlReader reader;
    auto document = reader.read(device);
    if (!document) {
        m_error = reader.errorString();
        return false;
    }
    m_error.clear();
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
