#ifndef GRAPHMLFILEPLUGIN_H
#define GRAPHMLFILEPLUGIN_H

#include <fileplugininterface.h>

#include <QVariantList>

// GraphML files (see GraphMLReader and GraphMLWriter): all graphs of a document, with their
// user properties, in and out.
class GraphMLFilePlugin : public Grix::FilePluginInterface
{
    Q_OBJECT
public:
    GraphMLFilePlugin(QObject *parent, const QVariantList &args);
    ~GraphMLFilePlugin() override;

    QStringList extensions() const override;
    GraphDocument *readFile(const QString &fileName) override;
    bool writeFile(GraphDocument &document, const QString &fileName) override;
};

#endif
