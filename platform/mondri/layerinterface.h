#pragma once

#include <QString>
#include <QStringList>
#include <QtPlugin>

namespace Mondri {

class GeoPainter;
class GeoSceneLayer;
class ViewportParams;

// Something that paints into the map at one or more render positions.
class LayerInterface
{
public:
    virtual ~LayerInterface() = default;

    // The render positions at which paint() wants to be called.
    virtual QStringList renderPositions() const = 0;
    // Paints at the given render position; false when the layer could not paint at all.
    virtual bool paint(GeoPainter *painter, const ViewportParams *viewport, const QString &renderPosition,
                       GeoSceneLayer *layer) = 0;
};

} // namespace Mondri

#define MONDRI_LAYERINTERFACE_IID "org.talvori.Mondri.LayerInterface/1.05"
Q_DECLARE_INTERFACE(Mondri::LayerInterface, MONDRI_LAYERINTERFACE_IID)
