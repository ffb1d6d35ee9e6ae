#ifndef DAXCOMPONENTDATA_H
#define DAXCOMPONENTDATA_H

#include "daxaboutdata.h"

// The identity a plug-in factory hands to the objects it creates, so that a plug-in can tell
// which component it belongs to. The main component stands for the running program.
class DaxComponentData
{
public:
    DaxComponentData() = default;
    explicit DaxComponentData(const DaxAboutData &about);

    const DaxAboutData &aboutData() const { return m_about; }
    QString componentName() const { return m_about.componentName(); }
    bool isValid() const { return m_about.isValid(); }

    // The running program's component: set by the program, else made from the application name.
    static DaxComponentData mainComponent();
    static void setMainComponent(const DaxComponentData &component);

private:
    DaxAboutData m_about;
};

#endif
