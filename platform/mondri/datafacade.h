#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QIODevice;

namespace Mondri {

class GeoDataDocument;
class GeoDataTreeModel;

// What the map hands to its plug-ins: the loaded content and the model over it. Loading replaces
// whatever was loaded before; a failed load keeps it. Elements of the file that could not be used
// are listed in warnings(); in strict mode the first of them fails the load instead.
class DataFacade : public QObject
{
    Q_OBJECT

public:
    explicit DataFacade(QObject *parent = nullptr);
    ~DataFacade() override;

    bool loadFile(const QString &path);
    bool load(QIODevice *device);
    void clear();
    QString errorString() const { return m_error; }
    QStringList warnings() const { return m_warnings; }
    void setStrict(bool strict) { m_strict = strict; }

    GeoDataDocument *document() const { return m_document.get(); }
    // Null while nothing is loaded.
    GeoDataTreeModel *geometryModel() const { return m_model.get(); }

Q_SIGNALS:
    void contentChanged();

private:
    void take(std::unique_ptr<GeoDataDocument> document);

    std::unique_ptr<GeoDataDocument> m_document;
    std::unique_ptr<GeoDataTreeModel> m_model;
    QString m_error;
    QStringList m_warnings;
    bool m_strict = false;
};

} // namespace Mondri
