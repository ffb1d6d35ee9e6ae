#pragma once

#include "datafacade.h"
#include "renderplugininterface.h"

#include <QObject>
#include <QPointer>

namespace Mondri {


// Base class of every render plug-in: the plug-in's QObject identity plus access to the map's data.
class RenderPlugin : public QObject, public RenderPluginInterface
{
    Q_OBJECT
    Q_INTERFACES(Mondri::RenderPluginInterface Mondri::LayerInterface)

public:
    explicit RenderPlugin(QObject *parent = nullptr);
    ~RenderPlugin() override;

    // The data of the map this instance paints for; null until the map sets it.
    DataFacade *dataFacade() const { return m_dataFacade; }
    void setDataFacade(DataFacade *facade) { m_dataFacade = facade; }

private:
    QPointer<DataFacade> m_dataFacade;
};

} // namespace Mondri
