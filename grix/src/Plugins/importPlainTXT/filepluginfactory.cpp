#include "filepluginfactory.h"

#include "plaintxtfileplugin.h"

#include <daxi18n.h>

FilePLuginFactory::FilePLuginFactory()
    : DaxPluginFactory(aboutData())
{
    registerPlugin<PlainTXTFilePlugin>();
}

DaxAboutData FilePLuginFactory::aboutData()
{
    return DaxAboutData(QStringLiteral("grix_plaintxtplugin"), QStringLiteral("0.1"), i18n("Open and Save Plain TXT files"));
}

DAX_EXPORT_PLUGIN_VERSION()
