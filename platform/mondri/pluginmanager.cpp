#include "pluginmanager.h"

#include "renderplugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>

namespace Mondri {

PluginManager::PluginManager(QObject *parent)
    : QObject(parent)
{
}

PluginManager::~PluginManager() = default;

QString PluginManager::defaultPluginDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("MONDRI_PLUGIN_PATH");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString besideProgram = programDir.absoluteFilePath(QStringLiteral("../plugins"));
    if (QFileInfo(besideProgram).isDir())
        return QDir::cleanPath(besideProgram);
    return QDir::cleanPath(programDir.absoluteFilePath(QStringLiteral(MONDRI_PLUGIN_DIR_FROM_PROGRAM)));
}

int PluginManager::loadPlugins(const QString &directory)
{
    const QDir dir(directory);
    if (!dir.exists()) {
        m_errors.append(tr("%1: no such plug-in directory").arg(directory));
        return 0;
    }
    int loaded = 0;
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &name : files) {
        const QString path = dir.absoluteFilePath(name);
        if (!QLibrary::isLibrary(path))
            continue;
        QPluginLoader loader(path);
        // The metadata is read without running any of the library's code.
        if (loader.metaData().value(QStringLiteral("IID")).toString() != QLatin1String(MONDRI_RENDERPLUGIN_IID))
            continue;
        QObject *instance = loader.instance();
        auto *plugin = qobject_cast<RenderPlugin *>(instance);
        if (!plugin) {
            m_errors.append(instance ? tr("%1: not a render plug-in").arg(path) : loader.errorString());
            continue;
        }
        if (!m_plugins.contains(plugin)) {
            m_plugins.append(plugin);
            ++loaded;
        }
    }
    return loaded;
}

} // namespace Mondri
