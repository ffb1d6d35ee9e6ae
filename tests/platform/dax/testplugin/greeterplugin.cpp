// A plug-in library as any Dax plug-in is written: a factory class at its root with the service
// description embedded, one registered class and the version entry points.
#include "greeter.h"

#include <daxi18n.h>
#include <daxpluginfactory.h>

#include <QVariantList>

class PoliteGreeter : public Greeter
{
    Q_OBJECT
public:
    PoliteGreeter(QObject *parent, const QVariantList &args)
        : Greeter(parent)
        , m_suffix(args.value(0).toString())
    {
    }
    QString greet(const QString &name) const override { return QStringLiteral("Hello, %1%2").arg(name, m_suffix); }

private:
    QString m_suffix;
};

class GreeterFactory : public DaxPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID DaxPluginFactory_iid FILE "greeter.json")
    Q_INTERFACES(DaxPluginFactory)
public:
    GreeterFactory()
        : DaxPluginFactory(DaxAboutData(QStringLiteral("dax_testplugin"), QStringLiteral("0.1"), i18n("Greeter")))
    {
        registerPlugin<PoliteGreeter>(QStringLiteral("polite"));
    }
};

DAX_EXPORT_PLUGIN_VERSION()

#include "greeterplugin.moc"
