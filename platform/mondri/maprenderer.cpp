#include "maprenderer.h"

#include "datafacade.h"
#include "geodatacontainer.h"
#include "geodatadocument.h"
#include "geodatageometry.h"
#include "geodataplacemark.h"
#include "geopainter.h"
#include "geoscenelayer.h"
#include "pluginmanager.h"
#include "renderplugin.h"
#include "viewportparams.h"

namespace Mondri {

namespace {

void extendByContent(const GeoDataFeature *feature, GeoDataLatLonBox *box)
{
    if (feature->featureId() == PlacemarkId) {
        if (const GeoDataGeometry *geometry = static_cast<const GeoDataPlacemark *>(feature)->geometry())
            box->extend(geometry->latLonBox());
        return;
    }
    const auto *container = static_cast<const GeoDataContainer *>(feature);
    for (int i = 0; i < container->childCount(); ++i)
        extendByContent(container->feature(i), box);
}

} // namespace

MapRenderer::MapRenderer(QObject *parent)
    : QObject(parent), m_facade(new DataFacade(this)), m_pluginManager(new PluginManager(this))
{
}

MapRenderer::~MapRenderer()
{
    // The plug-in instances refer to the facade.
    qDeleteAll(m_plugins);
}

int MapRenderer::loadPlugins(const QString &directory)
{
    // Only the factories this call found: loading a directory twice must not paint twice.
    const qsizetype known = m_pluginManager->plugins().size();
    m_pluginManager->loadPlugins(directory);
    int created = 0;
    for (RenderPlugin *factory : m_pluginManager->plugins().mid(known)) {
        RenderPlugin *plugin = factory->newInstance();
        if (!plugin)
            continue;
        plugin->setDataFacade(m_facade);
        plugin->initialize();
        m_plugins.append(plugin);
        ++created;
    }
    return created;
}

QStringList MapRenderer::pluginErrors() const
{
    return m_pluginManager->errors();
}

GeoDataLatLonBox MapRenderer::contentBox() const
{
    GeoDataLatLonBox box;
    if (m_facade->document())
        extendByContent(m_facade->document(), &box);
    return box;
}

bool MapRenderer::render(QPaintDevice *device, const ViewportParams &viewport, MapQuality quality)
{
    GeoPainter painter(device, &viewport, quality);
    GeoSceneLayer layer(QStringLiteral("geodata"));
    bool ok = true;
    for (const char *name : { HoversAboveSurface, AlwaysOnTop }) {
        const QString position = QString::fromLatin1(name);
        for (RenderPlugin *plugin : std::as_const(m_plugins)) {
            if (plugin->renderPositions().contains(position))
                ok = plugin->paint(&painter, &viewport, position, &layer) && ok;
        }
    }
    m_penChanges = painter.penChangeCount();
    m_brushChanges = painter.brushChangeCount();
    return ok;
}

} // namespace Mondri
