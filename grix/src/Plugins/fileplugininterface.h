#ifndef GRIX_FILEPLUGININTERFACE_H
#define GRIX_FILEPLUGININTERFACE_H

#include "readwarnings.h"

#include <daxcomponentdata.h>

#include <QObject>
#include <QStringList>

#include <functional>

class QIODevice;

class GraphDocument;

namespace Grix {

// Base of plug-ins that import and export documents in foreign formats. Failures are results
// (null, false) with the reason in lastError(); what a successful read had to leave out is in
// warnings().
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
    // The text of the last failure of a plug-in that keeps it through the helpers below, else
    // "Default Error.".
    virtual QString lastError();
    // What the last readFile() could not read although it made a document, one text per kind of
    // problem with its count and first line; empty after a clean read.
    QStringList warnings() const { return m_readWarnings.texts(); }

protected:
    ReadWarnings &readWarnings() { return m_readWarnings; }
    // Clears the warnings, opens fileName and lets read fill a new document (named "Untitled",
    // 800 x 600) from it: the document, or null with the reason in lastError().
    GraphDocument *readDocument(const QString &fileName, const std::function<bool(QIODevice &, GraphDocument &, QString &)> &read);
    // Lets write fill fileName through a safe save file, so a failed export leaves an existing
    // file as it was; false with the reason in lastError().
    bool writeDocument(const QString &fileName, const std::function<bool(QIODevice &, QString &)> &write);
    void setLastError(const QString &error) { m_lastError = error; }

private:
    ReadWarnings m_readWarnings;
    QString m_lastError;
};

}

#endif
