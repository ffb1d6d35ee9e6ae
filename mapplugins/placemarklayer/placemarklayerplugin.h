#pragma once

#include "renderplugin.h"

#include <memory>

class PlacemarkPainter;

namespace Mondri {

// Draws the point placemarks of the map's content above everything else: each with its icon,
// tinted and scaled as its icon style says (the default marker when the icon cannot be loaded),
// and its name beside it in the colour and size its label style gives.
class PlacemarkLayerPlugin : public RenderPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MONDRI_RENDERPLUGIN_IID)
    Q_INTERFACES(Mondri::RenderPluginInterface Mondri::LayerInterface)

public:
    explicit PlacemarkLayerPlugin(QObject *parent = nullptr);
    ~PlacemarkLayerPlugin() override;

    QString displayName() const override;
    QString menuText() const override;
    QString identifier() const override;
    QString description() const override;
    QIcon icon() const override;

    void initialize() override;
    bool isInitialized() const override;
    RenderPlugin *newInstance() const override;

    QStringList backendTypes() const override;
    QString renderPolicy() const override;

    QStringList renderPositions() const override;
    bool paint(GeoPainter *painter, const ViewportParams *viewport, const QString &renderPosition,
               GeoSceneLayer *layer) override;

private:
    std::unique_ptr<PlacemarkPainter> m_painter;
};

} // namespace Mondri
