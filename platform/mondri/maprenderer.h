#pragma once

#include "geodatalatlonbox.h"
#include "mondriglobal.h"

#include <QList>
#include <QObject>
#include <QString>

class QPaintDevice;

namespace Mondri {

class DataFacade;
class PluginManager;
class RenderPlugin;
class ViewportParams;

// A map without a window: loaded content, the render plug-ins that paint it, and a paint call that
// renders one frame into any paint device.
class MapRenderer : public QObject
{
    Q_OBJECT

public:
    explicit MapRenderer(QObject *parent = nullptr);
    ~MapRenderer() override;

    DataFacade *dataFacade() const { return m_facade; }

    // Creates and initializes one instance of each render plug-in found in the directory.
    int loadPlugins(const QString &directory);
    QList<RenderPlugin *> plugins() const { return m_plugins; }
    QStringList pluginErrors() const;

    // The box around everything loaded; empty when nothing is.
    GeoDataLatLonBox contentBox() const;

    // Paints every plug-in at the "HOVERS_ABOVE_SURFACE" position, then at "ALWAYS_ON_TOP", each at
    // the positions it asks for; false when any of them fails.
    bool render(QPaintDevice *device, const ViewportParams &viewport, MapQuality quality);

    // Painter state changes of the last render() call.
    int penChangeCount() const { return m_penChanges; }
    int brushChangeCount() const { return m_brushChanges; }

private:
    DataFacade *m_facade;
    PluginManager *m_pluginManager;
    QList<RenderPlugin *> m_plugins;
    int m_penChanges = 0;
    int m_brushChanges = 0;
};

} // namespace Mondri
