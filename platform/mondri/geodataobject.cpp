#include "geodataobject.h"

namespace Mondri {

// A copy is a new, free-standing object: it does not belong to the original's parent.
GeoDataObject::GeoDataObject(const GeoDataObject &other)
    : m_id(other.m_id)
{
}

GeoDataObject &GeoDataObject::operator=(const GeoDataObject &other)
{
    m_id = other.m_id;
    return *this;
}

GeoDataObject::~GeoDataObject() = default;

GeoDataObject *GeoDataObject::child(int) const
{
    return nullptr;
}

void GeoDataObject::adopt(GeoDataObject *child, GeoDataObject *parent, int row)
{
    child->m_parent = parent;
    child->m_row = row;
}

} // namespace Mondri
