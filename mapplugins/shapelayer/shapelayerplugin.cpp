#include "shapelayerplugin.h"

#include "datafacade.h"
#include "geodataobject.h"
#include "geodatatreemodel.h"
#include "mondriglobal.h"
#include "shapelayerview.h"

#include <QApplication>

namespace Mondri {

ShapeLayerPlugin::ShapeLayerPlugin(QObject *parent)
    : RenderPlugin(parent)
{
    // The view reads objects out of QVariants of this type.
    qRegisterMetaType<Mondri::GeoDataObject *>("Mondri::GeoDataObject*");
}

ShapeLayerPlugin::~ShapeLayerPlugin() = default;

QString ShapeLayerPlugin::displayName() const
{
    return tr("ShapeLayer Plugin");
}

QString ShapeLayerPlugin::menuText() const
{
    return tr("&ShapeLayer Plugin");
}

QString ShapeLayerPlugin::identifier() const
{
    return QStringLiteral("ShapeLayer-plugin");
}

QString ShapeLayerPlugin::description() const
{
    return tr("This plugin draws the map content (e.g. provided via a KML file).");
}

QIcon ShapeLayerPlugin::icon() const
{
    return QIcon();
}

void ShapeLayerPlugin::initialize()
{
    // The view is a widget, and widgets abort the process without a QApplication.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        qWarning("ShapeLayerPlugin: painting needs a QApplication; the plug-in stays uninitialized");
        return;
    }
    m_view = std::make_unique<ShapeLayerView>();
    m_initialized = true;
}

bool ShapeLayerPlugin::isInitialized() const
{
    return m_initialized;
}

RenderPlugin *ShapeLayerPlugin::newInstance() const
{
    return new ShapeLayerPlugin;
}

QStringList ShapeLayerPlugin::backendTypes() const
{
    return { QStringLiteral("geodata") };
}

QString ShapeLayerPlugin::renderPolicy() const
{
    return QStringLiteral("ALWAYS");
}

QStringList ShapeLayerPlugin::renderPositions() const
{
    return { QString::fromLatin1(HoversAboveSurface) };
}

bool ShapeLayerPlugin::paint(GeoPainter *painter, const ViewportParams *, const QString &renderPosition, GeoSceneLayer *)
{
    if (renderPosition != QLatin1String(HoversAboveSurface))
        return true;
    DataFacade *facade = dataFacade();
    if (!facade || !facade->geometryModel())
        return false;
    // A map that paints before initializing would otherwise find no view.
    if (!m_initialized)
        initialize();
    if (!m_initialized)
        return false;
    // Compared rather than tested for null: after the content is reloaded the view would still hold
    // an empty stand-in for the model that was deleted.
    if (m_view->model() != facade->geometryModel())
        m_view->setModel(facade->geometryModel());
    m_view->setGeoPainter(painter);
    m_view->paintGeometries();
    m_view->setGeoPainter(nullptr);
    return true;
}

} // namespace Mondri
