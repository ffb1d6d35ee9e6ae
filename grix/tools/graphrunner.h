#ifndef GRAPHRUNNER_H
#define GRAPHRUNNER_H

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <memory>

class GraphDocument;
class ThreadDocument;
namespace Grix {
class ToolsPluginInterface;
}

// Runs scripts and tools on a document held by a ThreadDocument, as an editor would: the
// document and its script engine live on the worker thread, this object waits for them.
class GraphRunner : public QObject
{
    Q_OBJECT
public:
    GraphRunner();
    ~GraphRunner() override;

    // Reads a ".graph" file, or any format a file plug-in reads; null and error() on failure.
    GraphDocument *read(const QString &fileName);
    // Saves in the format the file name asks for.
    bool write(const QString &fileName);
    // Hands doc (or, with null, a new document with one graph) to the worker thread.
    void adopt(GraphDocument *doc);
    // Both block until the script has finished, or timeoutMs (0: no limit) has passed and it
    // was stopped. Script output goes to stdout, script debug text to stderr.
    bool runScript(const QString &script, int timeoutMs);
    bool runTool(const QString &toolName, int timeoutMs);
    QString error() const { return m_error; }
    // What the last read() had to leave out of the file, one text per kind of problem.
    QStringList warnings() const { return m_warnings; }

private:
    bool run(const std::function<void()> &start, int timeoutMs);

    QMutex m_mutex;
    QWaitCondition m_condition;
    std::unique_ptr<ThreadDocument> m_thread;
    QString m_error;
    QStringList m_warnings;
};

#endif
