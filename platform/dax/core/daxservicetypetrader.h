#ifndef DAXSERVICETYPETRADER_H
#define DAXSERVICETYPETRADER_H

#include "daxservice.h"

#include <QMutex>
#include <QStringList>

// The registry of installed plug-ins. It lists every library in the plug-in directories
// (DaxStandardDirs::pluginDirs()) whose Qt plug-in metadata has the interface id
// DaxPluginFactory_iid. The service description is the "MetaData" object of that metadata,
// embedded at build time with Q_PLUGIN_METADATA(... FILE "name.json"), so the description
// always travels with its library and is read without loading it:
//
//     {
//         "Name": "MakeComplete",             shown to users and matched by [Name]
//         "Comment": "Makes every graph complete",
//         "Icon": "grix-makecomplete",        icon name
//         "ServiceTypes": ["Grix/ToolPlugin"],
//         "Keyword": "",                      keyword of the class in the library's factory
//         "EnabledByDefault": false
//     }
//
// A constraint is empty (every service of the type) or one or more terms "[Key]=='value'" joined
// by " and "; a backslash escapes a quote inside the value. Any other constraint matches nothing.
class DaxServiceTypeTrader
{
public:
    static DaxServiceTypeTrader *self();

    DaxServiceList query(const QString &serviceType, const QString &constraint = QString());

    // Forget what was read, so the next query looks at the directories again.
    void rescan();
    // Number of queries answered so far; lets callers check that a path asks no query.
    int queryCount() const;

private:
    DaxServiceTypeTrader() = default;
    const DaxServiceList &services(); // needs m_mutex held

    mutable QMutex m_mutex; // guards everything below; queries may come from any thread
    DaxServiceList m_services;
    bool m_scanned = false;
    int m_queries = 0;
};

#endif
