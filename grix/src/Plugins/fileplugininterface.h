#ifndef GRIX_FILEPLUGININTERFACE_H
#define GRIX_FILEPLUGININTERFACE_H

#include <daxcomponentdata.h>

#include <QObject>
#include <QStringList>

class GraphDocument;

namespace Grix {

// Base of plug-ins that import and export documents in foreign formats. Failures are results
// (null, false) with the reason in lastError().
class FilePluginInterface : public QObject
{
    Q_OBJECT
public:
    FilePluginInterface(const DaxComponentData &component, QObject *parent);
    ~FilePluginInterface() override;

    // File-dialog filter entries "pattern|description", e.g. "*.txt|Plain TXT Files".
    virtual QStringList extensions() const = 0;
    // A new document owned by the caller, or null.
    virtual GraphDocument *readFile(const QString &fileName) = 0;
    virtual bool writeFile(GraphDocument &document, const QString &fileName) = 0;
    virtual QString lastError();
};

}

#endif
