#include "daxpluginfactory.h"

DaxPluginFactory::DaxPluginFactory(const DaxAboutData &about, QObject *parent)
    : QObject(parent)
    , m_component(about)
{
}

DaxPluginFactory::~DaxPluginFactory() = default;

void DaxPluginFactory::registerCreator(const QString &keyword, const QMetaObject *metaObject, Creator creator)
{
    m_entries.append({keyword, metaObject, std::move(creator)});
}

QObject *DaxPluginFactory::createObject(const QMetaObject *interface, QObject *parent, const QVariantList &args,
                                        const QString &keyword)
{
    // Only a class that really is the requested interface is made, so a caller never gets an
    // object it would have to throw away.
    for (const Entry &entry : std::as_const(m_entries)) {
        if (entry.keyword == keyword && entry.metaObject->inherits(interface))
            return entry.create(parent, args);
    }
    return nullptr;
}
