#pragma once

#include "renderplugin.h"

#include <memory>

class ShapeLayerView;

namespace Mondri {

// Paints the line strings, linear rings and polygons of the map's content with the styles their
// placemarks name.
class ShapeLayerPlugin : public RenderPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MONDRI_RENDERPLUGIN_IID)
    Q_INTERFACES(Mondri::RenderPluginInterface Mondri::LayerInterface)

public:
    explicit ShapeLayerPlugin(QObject *parent = nullptr);
    ~ShapeLayerPlugin() override;

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
    std::unique_ptr<ShapeLayerView> m_view;
    bool m_initialized = false;
};

} // namespace Mondri
