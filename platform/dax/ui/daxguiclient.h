#ifndef DAXGUICLIENT_H
#define DAXGUICLIENT_H

#include "daxcomponentdata.h"

// Second base of objects that contribute to a program's user interface (menus, actions). It
// remembers the component it belongs to, so its texts and resources come from that component.
class DaxGuiClient
{
public:
    explicit DaxGuiClient(const DaxComponentData &component = DaxComponentData());
    virtual ~DaxGuiClient();

    DaxComponentData componentData() const { return m_component; }
    void setComponentData(const DaxComponentData &component) { m_component = component; }

private:
    DaxComponentData m_component;
};

#endif
