#include "pluginmanager.h"

#include "fileplugininterface.h"
#include "toolsplugininterface.h"

#include <daxdebug.h>
#include <daxi18n.h>
#include <daxpluginfactory.h>
#include <daxpluginloader.h>
#include <daxservicetypetrader.h>

#include <QMap>

namespace Grix {

namespace {
const QString FileServiceType = QStringLiteral("Grix/FilePlugin");
const QString ToolServiceType = QStringLiteral("Grix/ToolPlugin");
}

class PluginManagerPrivate
{
public:
    QList<DaxPluginInfo> toolsInfo;
    QList<DaxPluginInfo> filesInfo;
    QMap<DaxPluginInfo, ToolsPluginInterface *> toolsPlugins;
};

PluginManager *PluginManager::self = nullptr;

PluginManager *PluginManager::New()
{
    // Lives until the process ends; the first call may come from any thread.
    static PluginManager *instance = (self = new PluginManager);
    return instance;
}

PluginManager::PluginManager()
    : d(std::make_unique<PluginManagerPrivate>())
{
    d->toolsInfo = DaxPluginInfo::fromServices(DaxServiceTypeTrader::self()->query(ToolServiceType));
    d->filesInfo = DaxPluginInfo::fromServices(DaxServiceTypeTrader::self()->query(FileServiceType));
}

PluginManager::~PluginManager() = default;

void PluginManager::loadPlugins()
{
    loadFilePlugins();
    loadToolsPlugins();
}

void PluginManager::loadFilePlugins()
{
    qDeleteAll(m_filePlugins);
    m_filePlugins.clear();
    const DaxServiceList services = DaxServiceTypeTrader::self()->query(FileServiceType, QString());
    for (const DaxService &service : services) {
        DaxPluginLoader loader(service, DaxComponentData::mainComponent());
        DaxPluginFactory *factory = loader.factory();
        if (!factory) {
            daxWarning() << "DaxPluginFactory could not load the plugin: " << service.library();
            continue;
        }
        if (auto *plugin = factory->create<FilePluginInterface>(this, QVariantList())) {
            m_filePlugins.append(plugin);
            daxDebug() << "Loaded plugin: " << service.name();
        } else {
            daxDebug() << "Can't load plugin: " << service.name();
        }
    }
}

void PluginManager::loadToolsPlugins()
{
    for (const DaxPluginInfo &info : std::as_const(d->toolsInfo))
        loadToolPlugin(info.name());
}

bool PluginManager::loadToolPlugin(const QString &name)
{
    DaxPluginInfo info;
    bool found = false;
    for (const DaxPluginInfo &candidate : std::as_const(d->toolsInfo)) {
        if (candidate.name() == name) {
            info = candidate;
            found = true;
            break;
        }
    }
    if (!found || !info.isValid()) {
        daxDebug() << "Error loading tool plugin " << name;
        return false;
    }

    // The name goes into a quoted constraint; a quote or backslash in it must stay literal.
    QString quoted = name;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    const DaxServiceList services =
        DaxServiceTypeTrader::self()->query(ToolServiceType, QStringLiteral("[Name]=='%1'").arg(quoted));
    ToolsPluginInterface *plugin = nullptr;
    QString error;
    for (const DaxService &service : services) {
        DaxPluginLoader loader(service, DaxComponentData::mainComponent());
        DaxPluginFactory *factory = loader.factory();
        if (!factory) {
            error = loader.errorString();
            loader.unload();
            continue;
        }
        plugin = factory->create<ToolsPluginInterface>(service.pluginKeyword(), this, QVariantList());
        if (plugin)
            break;
        error = i18n("The service '%1' does not provide an interface '%2' with keyword '%3'", service.name(),
                     QStringLiteral("Grix::ToolsPluginInterface"), service.pluginKeyword());
    }
    if (!plugin) {
        if (services.isEmpty())
            error = i18n("No service matching the requirements was found");
        daxDebug() << "error loading plugin: " << name << " " << error;
        return false;
    }
    d->toolsPlugins.insert(info, plugin);
    info.setPluginEnabled(true);
    return true;
}

QList<FilePluginInterface *> PluginManager::filePlugins() const
{
    return m_filePlugins;
}

QList<ToolsPluginInterface *> PluginManager::toolPlugins() const
{
    QList<ToolsPluginInterface *> plugins;
    for (auto it = d->toolsPlugins.constBegin(); it != d->toolsPlugins.constEnd(); ++it) {
        if (it.key().isPluginEnabled())
            plugins.append(it.value());
    }
    return plugins;
}

FilePluginInterface *PluginManager::filePluginsByExtension(const QString &ext) const
{
    for (FilePluginInterface *plugin : m_filePlugins) {
        if (plugin->extensions().join(QLatin1Char(';')).contains(ext, Qt::CaseInsensitive))
            return plugin;
    }
    return nullptr;
}

ToolsPluginInterface *PluginManager::toolPlugin(const QString &name) const
{
    for (auto it = d->toolsPlugins.constBegin(); it != d->toolsPlugins.constEnd(); ++it) {
        if (it.key().name() == name)
            return it.value();
    }
    return nullptr;
}

DaxPluginInfo PluginManager::pluginInfo(ToolsPluginInterface *plugin) const
{
    for (auto it = d->toolsPlugins.constBegin(); it != d->toolsPlugins.constEnd(); ++it) {
        if (it.value() == plugin)
            return it.key();
    }
    return DaxPluginInfo();
}

QList<DaxPluginInfo> PluginManager::toolsPluginsInfo() const
{
    return d->toolsInfo;
}

QList<DaxPluginInfo> PluginManager::filePluginsInfo() const
{
    return d->filesInfo;
}

}
