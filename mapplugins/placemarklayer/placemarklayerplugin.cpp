#include "placemarklayerplugin.h"

#include "datafacade.h"
#include "mondriglobal.h"
#include "placemarkpainter.h"

namespace Mondri {

PlacemarkLayerPlugin::PlacemarkLayerPlugin(QObject *parent)
    : RenderPlugin(parent)
{
}

PlacemarkLayerPlugin::~PlacemarkLayerPlugin() = default;

QString PlacemarkLayerPlugin::displayName() const
{
    return tr("Placemark Plugin");
}

QString PlacemarkLayerPlugin::menuText() const
{
    return tr("&Placemark Plugin");
}

QString PlacemarkLayerPlugin::identifier() const
{
    return QStringLiteral("Placemark-plugin");
}

QString PlacemarkLayerPlugin::description() const
{
    return tr("This plugin draws the point placemarks of the map content with their icons and names.");
}

QIcon PlacemarkLayerPlugin::icon() const
{
    return QIcon();
}

void PlacemarkLayerPlugin::initialize()
{
    m_painter = std::make_unique<PlacemarkPainter>();
}

bool PlacemarkLayerPlugin::isInitialized() const
{
    return m_painter != nullptr;
}

RenderPlugin *PlacemarkLayerPlugin::newInstance() const
{
    return new PlacemarkLayerPlugin;
}

QStringList PlacemarkLayerPlugin::backendTypes() const
{
    return { QStringLiteral("geodata") };
}

QString PlacemarkLayerPlugin::renderPolicy() const
{
    return QStringLiteral("ALWAYS");
}

QStringList PlacemarkLayerPlugin::renderPositions() const
{
    // Above the lines and areas, so markers and names stay readable.
    return { QString::fromLatin1(AlwaysOnTop) };
}

bool PlacemarkLayerPlugin::paint(GeoPainter *painter, const ViewportParams *, const QString &renderPosition, GeoSceneLayer *)
{
    if (renderPosition != QLatin1String(AlwaysOnTop))
        return true;
    DataFacade *facade = dataFacade();
    if (!facade || !facade->document())
        return false;
    if (!m_painter)
        initialize();
    m_painter->paint(painter, *facade->document());
    return true;
}

} // namespace Mondri
