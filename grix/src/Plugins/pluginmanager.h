#ifndef GRIX_PLUGINMANAGER_H
#define GRIX_PLUGINMANAGER_H

#include <daxplugininfo.h>

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>

namespace Grix {

class FilePluginInterface;
class ToolsPluginInterface;
class PluginManagerPrivate;

// The process-wide registry of loaded plug-ins. File plug-ins ("Grix/FilePlugin") import and
// export documents, tool plug-ins ("Grix/ToolPlugin") return scripts; both are found through the
// framework's service registry and made by their library's factory, with the manager as parent.
// Loading never fails loudly: a plug-in that cannot be loaded is left out and the reason goes
// to the debug output.
class PluginManager : public QObject
{
    Q_OBJECT
public:
    static PluginManager *New();
    ~PluginManager() override;

    void loadPlugins();
    void loadFilePlugins();
    void loadToolsPlugins();
    bool loadToolPlugin(const QString &name);

    QList<FilePluginInterface *> filePlugins() const;
    QList<ToolsPluginInterface *> toolPlugins() const;
    // The first file plug-in whose filter entries contain ext, ignoring case.
    FilePluginInterface *filePluginsByExtension(const QString &ext) const;
    // The plug-in loaded under name, or null.
    ToolsPluginInterface *toolPlugin(const QString &name) const;
    DaxPluginInfo pluginInfo(ToolsPluginInterface *plugin) const;
    // The info records of every installed tool and file plug-in.
    QList<DaxPluginInfo> toolsPluginsInfo() const;
    QList<DaxPluginInfo> filePluginsInfo() const;

private:
    PluginManager();
    static PluginManager *self;

    QList<FilePluginInterface *> m_filePlugins;
    std::unique_ptr<PluginManagerPrivate> d;
};

}

#endif
