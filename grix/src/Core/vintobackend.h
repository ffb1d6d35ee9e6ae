#ifndef VINTOBACKEND_H
#define VINTOBACKEND_H

#include <QList>
#include <QString>
#include <QVariant>

class DaxVintoAction;

// Hands a script to the framework's scripting bridge with the graphs attached under their names.
// For Python and Ruby it writes a preamble importing each named graph; JavaScript needs none.
class VintoBackend
{
public:
    // graphs stays owned by the caller; each entry holds a QObject* expected to be a Graph.
    explicit VintoBackend(QList<QVariant> *graphs);

    void setBackend(const QString &backend) { m_backend = backend; }
    void setScript(const QString &script) { m_script = script; }
    void loadFile(const QString &path);
    QString preamble() const { return m_preamble; }
    // Runs the script through a new bridge action, returned to the caller (who owns it), or
    // null for an interpreter this backend does not know.
    DaxVintoAction *execute();

private:
    void buildPythonPreamble();
    void buildRubyPreamble();

    QString m_backend;
    QString m_script;
    QString m_preamble;
    QList<QVariant> *m_graphs;
};

#endif
