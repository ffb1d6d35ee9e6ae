#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace Mondri {

class RenderPlugin;

// Finds the render plug-ins in a directory and loads them with QPluginLoader. Only libraries that
// declare this library's render-plug-in interface identifier are loaded; the others are reported in
// errors() and left alone. The loaded objects are factories: maps ask them for newInstance().
class PluginManager : public QObject
{
    Q_OBJECT

public:
    explicit PluginManager(QObject *parent = nullptr);
    ~PluginManager() override;

    // MONDRI_PLUGIN_PATH when set, else the "plugins" directory beside the program's directory when
    // there is one (a build tree), else the installed plug-in directory seen from the program
    // (<prefix>/bin to <prefix>/lib/talvori/plugins).
    static QString defaultPluginDirectory();

    // Loads every render plug-in found in the directory; returns how many were loaded.
    int loadPlugins(const QString &directory);
    QList<RenderPlugin *> plugins() const { return m_plugins; }
    QStringList errors() const { return m_errors; }

private:
    QList<RenderPlugin *> m_plugins;
    QStringList m_errors;
};

} // namespace Mondri
