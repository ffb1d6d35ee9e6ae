#ifndef DAXPLUGINLOADER_H
#define DAXPLUGINLOADER_H

#include "daxcomponentdata.h"
#include "daxservice.h"

#include <QPluginLoader>
#include <QString>

class DaxPluginFactory;

// Loads a plug-in library and hands out its factory. The library is looked up by name in the
// plug-in directories (an absolute path is taken as it is). A library stays loaded when the
// loader goes away, since objects it made may still be alive; unload() is explicit.
class DaxPluginLoader
{
public:
    explicit DaxPluginLoader(const QString &libraryName,
                             const DaxComponentData &component = DaxComponentData::mainComponent());
    explicit DaxPluginLoader(const DaxService &service,
                             const DaxComponentData &component = DaxComponentData::mainComponent());

    // The library's factory, or null; errorString() then says why.
    DaxPluginFactory *factory();
    QString errorString() const { return m_error; }
    QString fileName() const { return m_loader.fileName(); }
    bool unload();

private:
    QString m_libraryName;
    DaxComponentData m_component;
    QPluginLoader m_loader;
    QString m_error;
};

#endif
