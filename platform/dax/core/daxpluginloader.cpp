#include "daxpluginloader.h"

#include "daxi18n.h"
#include "daxpluginfactory.h"
#include "daxstandarddirs.h"

#include <QLibrary>

DaxPluginLoader::DaxPluginLoader(const QString &libraryName, const DaxComponentData &component)
    : m_libraryName(libraryName)
    , m_component(component)
{
}

DaxPluginLoader::DaxPluginLoader(const DaxService &service, const DaxComponentData &component)
    : m_libraryName(service.entryPath().isEmpty() ? service.library() : service.entryPath())
    , m_component(component)
{
}

DaxPluginFactory *DaxPluginLoader::factory()
{
    if (m_loader.fileName().isEmpty()) {
        const QString path = DaxStandardDirs::findPlugin(m_libraryName);
        if (path.isEmpty()) {
            m_error = i18n("Could not find plugin '%1'.", m_libraryName);
            return nullptr;
        }
        m_loader.setFileName(path);
    }
    if (!m_loader.load()) {
        m_error = i18n("Could not load plugin '%1': %2", m_libraryName, m_loader.errorString());
        return nullptr;
    }
    // A library built against another framework version may lay out its objects differently.
    using VersionFunction = const char *(*)();
    const auto version = reinterpret_cast<VersionFunction>(QLibrary(m_loader.fileName()).resolve("dax_plugin_verification_data"));
    if (!version || qstrcmp(version(), DAX_VERSION_STRING) != 0) {
        m_error = i18n("The plugin '%1' was not built for this version of the framework (%2).", m_libraryName,
                       QString::fromLatin1(DAX_VERSION_STRING));
        return nullptr;
    }
    auto *factory = qobject_cast<DaxPluginFactory *>(m_loader.instance());
    if (!factory) {
        m_error = i18n("The library '%1' does not offer a plugin factory.", m_libraryName);
        return nullptr;
    }
    m_error.clear();
    return factory;
}

bool DaxPluginLoader::unload()
{
    return m_loader.unload();
}
