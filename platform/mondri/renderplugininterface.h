#pragma once

#include "layerinterface.h"

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QtPlugin>

namespace Mondri {

class RenderPlugin;

// The identity and life cycle of a render plug-in, as the map asks for them.
class RenderPluginInterface : public LayerInterface
{
public:
    ~RenderPluginInterface() override = default;

    // Translated name for lists of plug-ins.
    virtual QString displayName() const = 0;
    // Translated menu entry, with a mnemonic.
    virtual QString menuText() const = 0;
    // Stable, untranslated name that identifies the plug-in in settings.
    virtual QString identifier() const = 0;
    virtual QString description() const = 0;
    virtual QIcon icon() const = 0;

    virtual void initialize() = 0;
    virtual bool isInitialized() const = 0;
    // A fresh, uninitialized instance of the same plug-in, for another map.
    virtual RenderPlugin *newInstance() const = 0;

    // The kinds of map backend the plug-in can paint on ("geodata" for vector content).
    virtual QStringList backendTypes() const = 0;
    // "ALWAYS", "SPECIFIED" or "NEVER": whether the map may switch the plug-in on.
    virtual QString renderPolicy() const = 0;
};

} // namespace Mondri

// Plug-ins built against another interface version are not loaded.
#define MONDRI_RENDERPLUGIN_IID "org.talvori.Mondri.RenderPluginInterface/1.05"
Q_DECLARE_INTERFACE(Mondri::RenderPluginInterface, MONDRI_RENDERPLUGIN_IID)
