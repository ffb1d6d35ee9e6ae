#pragma once

#include <QMetaType>
#include <QString>

namespace Mondri {

// Base of everything read from map content: features (documents, folders, placemarks) and
// geometries. Objects form a tree; each one knows its parent and its row there, so the tree model
// can answer parent() in constant time.
class GeoDataObject
{
public:
    GeoDataObject() = default;
    GeoDataObject(const GeoDataObject &other);
    GeoDataObject &operator=(const GeoDataObject &other);
    virtual ~GeoDataObject();

    virtual bool isFeature() const { return false; }
    virtual bool isGeometry() const { return false; }
    virtual bool isDocument() const { return false; }

    // Children as the tree model shows them.
    virtual int childCount() const { return 0; }
    virtual GeoDataObject *child(int row) const;

    GeoDataObject *parent() const { return m_parent; }
    int row() const { return m_row; }

    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }

protected:
    // Called by the owning object when it takes a child.
    static void adopt(GeoDataObject *child, GeoDataObject *parent, int row);

private:
    GeoDataObject *m_parent = nullptr;
    int m_row = 0;
    QString m_id;
};

} // namespace Mondri

Q_DECLARE_METATYPE(Mondri::GeoDataObject *)
