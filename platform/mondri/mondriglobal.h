#pragma once

// Constants shared by the map library and its plug-ins.

#include <QFlags>

namespace Mondri {

// Model role under which GeoDataTreeModel hands out the GeoDataObject* of an index. The root index
// (an invalid QModelIndex) answers with the model's root container.
constexpr int ObjectPointerRole = 43;

// Render position at which vector content is painted: above the ground, below labels and floats.
inline constexpr char HoversAboveSurface[] = "HOVERS_ABOVE_SURFACE";
// Render position painted after all vector content: point markers and their labels stay readable.
inline constexpr char AlwaysOnTop[] = "ALWAYS_ON_TOP";

enum MapQuality {
    OutlineQuality = 0,
    LowQuality = 1,
    NormalQuality = 2,
    HighQuality = 3,
    PrintQuality = 4
};

enum FeatureId {
    InvalidFeatureId = 0,
    DocumentId = 1,
    FolderId = 2,
    PlacemarkId = 3
};

enum GeometryId {
    InvalidGeometryId = 0,
    PointId = 1,
    LineStringId = 2,
    LinearRingId = 3,
    PolygonId = 4,
    MultiGeometryId = 5
};

enum LabelPositionFlag {
    NoLabel = 0x0,
    LineStart = 0x1,
    LineCenter = 0x2,
    LineEnd = 0x4
};
Q_DECLARE_FLAGS(LabelPositionFlags, LabelPositionFlag)

} // namespace Mondri

Q_DECLARE_OPERATORS_FOR_FLAGS(Mondri::LabelPositionFlags)
