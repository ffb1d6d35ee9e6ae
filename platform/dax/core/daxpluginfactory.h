#ifndef DAXPLUGINFACTORY_H
#define DAXPLUGINFACTORY_H

#include "daxcomponentdata.h"

#include <QList>
#include <QObject>
#include <QVariantList>

#include <functional>

// Interface id every Dax plug-in library declares in Q_PLUGIN_METADATA. The registry only lists
// libraries with this id.
#define DaxPluginFactory_iid "org.talvori.Dax.PluginFactory/1.0"

// Version string a plug-in library exports as dax_plugin_verification_data; the loader refuses
// libraries built against another framework version.
#define DAX_VERSION_STRING "4.5.4 (Dax 4.5.4)"

// The object at the root of a plug-in library: it knows the plug-in classes of its library and
// makes instances of them on request. A library defines one subclass, for example
//
//     class MyFactory : public DaxPluginFactory
//     {
//         Q_OBJECT
//         Q_PLUGIN_METADATA(IID DaxPluginFactory_iid FILE "myplugin.json")
//         Q_INTERFACES(DaxPluginFactory)
//     public:
//         MyFactory() : DaxPluginFactory(aboutData()) { registerPlugin<MyPlugin>(); }
//         static DaxAboutData aboutData();
//     };
//     DAX_EXPORT_PLUGIN_VERSION()
//
// Q_PLUGIN_METADATA exports qt_plugin_instance, which makes the one factory on its first call;
// DAX_EXPORT_PLUGIN_VERSION exports the two verification entry points.
class DaxPluginFactory : public QObject
{
    Q_OBJECT
public:
    explicit DaxPluginFactory(const DaxAboutData &about, QObject *parent = nullptr);
    ~DaxPluginFactory() override;

    DaxComponentData componentData() const { return m_component; }

    // Makes an object of a registered class that is a T, with the given keyword, or returns null.
    template<class T>
    T *create(QObject *parent = nullptr, const QVariantList &args = {}, const QString &keyword = {})
    {
        QObject *object = createObject(&T::staticMetaObject, parent, args, keyword);
        T *result = qobject_cast<T *>(object);
        if (object && !result)
            delete object;
        return result;
    }

    template<class T>
    T *create(const QString &keyword, QObject *parent = nullptr, const QVariantList &args = {})
    {
        return create<T>(parent, args, keyword);
    }

protected:
    // Plug-in classes are constructed as Impl(QObject *parent, const QVariantList &args).
    template<class Impl>
    void registerPlugin(const QString &keyword = {})
    {
        registerCreator(keyword, &Impl::staticMetaObject,
                        [](QObject *parent, const QVariantList &args) -> QObject * { return new Impl(parent, args); });
    }

private:
    using Creator = std::function<QObject *(QObject *, const QVariantList &)>;
    struct Entry
    {
        QString keyword;
        const QMetaObject *metaObject;
        Creator create;
    };

    void registerCreator(const QString &keyword, const QMetaObject *metaObject, Creator creator);
    QObject *createObject(const QMetaObject *interface, QObject *parent, const QVariantList &args,
                          const QString &keyword);

    DaxComponentData m_component;
    QList<Entry> m_entries;
};

Q_DECLARE_INTERFACE(DaxPluginFactory, DaxPluginFactory_iid)

#define DAX_EXPORT_PLUGIN_VERSION()                                                                                    \
    extern "C" Q_DECL_EXPORT const char *qt_plugin_query_verification_data()                                           \
    {                                                                                                                  \
        return "pattern=DAX_PLUGIN_VERIFICATION_DATA\nversion=" DAX_VERSION_STRING "\n";                               \
    }                                                                                                                  \
    extern "C" Q_DECL_EXPORT const char *dax_plugin_verification_data()                                                \
    {                                                                                                                  \
        return DAX_VERSION_STRING;                                                                                     \
    }

#endif
