#ifndef QTSCRIPTBACKEND_H
#define QTSCRIPTBACKEND_H

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>

class GraphDocument;
class QJSEngine;
namespace Grix {
class ToolsPluginInterface;
}

// Runs a JavaScript program against a document. The script sees the globals "graphs" (every
// graph of the document), one global per named graph, and the print functions "output" and
// "debug", whose text arrives through sendOutput and sendDebug of the backend running it.
// start() blocks the thread it runs in; stop() may be called from any thread and aborts it.
class QtScriptBackend : public QObject
{
    Q_OBJECT
public:
    QtScriptBackend();
    ~QtScriptBackend() override;

    void setScript(const QString &script, GraphDocument *document);
    QString script() const { return m_script; }
    // Takes the script from a file; a file that cannot be read leaves the script empty.
    void loadFile(const QString &path);
    QJSEngine *engine() const;
    bool isRunning() const;
    // Whether the last evaluation ended in an uncaught script error (or was stopped).
    bool lastRunFailed() const { return m_failed; }

public Q_SLOTS:
    void start();
    void stop();
    void runTool(Grix::ToolsPluginInterface *plugin, GraphDocument *graphs);
    void output(const QString &text) { Q_EMIT sendOutput(text); }
    void debug(const QString &text) { Q_EMIT sendDebug(text); }

Q_SIGNALS:
    void sendOutput(const QString &text);
    void sendDebug(const QString &text);
    void engineCreated(QJSEngine *engine);
    void finished();

private:
    QString m_script;
    QPointer<GraphDocument> m_document;
    // The engine is made and used on the thread running start(); stop() comes from elsewhere,
    // so the pointer is only read or swapped under this mutex.
    mutable QMutex m_engineMutex;
    QJSEngine *m_engine = nullptr;
    std::atomic_bool m_evaluating = false;
    bool m_runningTool = false;
    bool m_failed = false;
};

#endif
