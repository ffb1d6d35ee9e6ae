#include "qtscriptbackend.h"

#include "graph.h"
#include "graphdocument.h"
#include "scriptfile.h"
#include "toolsplugininterface.h"

#include <daxdebug.h>

#include <QJSEngine>
#include <QThread>

QtScriptBackend::QtScriptBackend() = default;

QtScriptBackend::~QtScriptBackend()
{
    QMutexLocker lock(&m_engineMutex);
    delete m_engine;
}

void QtScriptBackend::setScript(const QString &script, GraphDocument *document)
{
    m_script = script;
    m_document = document;
}

void QtScriptBackend::loadFile(const QString &path)
{
    bool ok = false;
    m_script = ScriptFile::read(path, &ok);
    // One line feed more, so a last line without one still ends its statement.
    if (ok)
        m_script += QLatin1Char('\n');
}

QJSEngine *QtScriptBackend::engine() const
{
    QMutexLocker lock(&m_engineMutex);
    return m_engine;
}

bool QtScriptBackend::isRunning() const
{
    return m_evaluating || m_runningTool;
}

void QtScriptBackend::start()
{
    stop();
    auto *engine = new QJSEngine;
    {
        QMutexLocker lock(&m_engineMutex);
        m_engine = engine;
    }
    Q_EMIT engineCreated(engine);
    QThread::usleep(500);

    // The print functions are bound to this backend, so with several documents each script
    // prints to its own console.
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    const QJSValue makePrinters = engine->evaluate(QStringLiteral(
        "(function(backend) { return ["
        "  function() { backend.debug(String(arguments[0]) + ' \\n'); },"
        "  function() { backend.output(String(arguments[0]) + ' \\n'); } ]; })"));
    const QJSValue printers = makePrinters.call({engine->newQObject(this)});
    engine->globalObject().setProperty(QStringLiteral("debug"), printers.property(0));
    engine->globalObject().setProperty(QStringLiteral("output"), printers.property(1));

    QJSValue graphs = engine->newArray();
    if (m_document) {
        quint32 index = 0;
        for (Graph *graph : std::as_const(*m_document)) {
            graph->setEngine(engine);
            graphs.setProperty(index++, graph->scriptValue());
        }
    }
    engine->globalObject().setProperty(QStringLiteral("graphs"), graphs);

    m_evaluating = true;
    const QJSValue result = engine->evaluate(m_script, QString(), 1);
    m_evaluating = false;
    m_failed = result.isError();
    QString text = result.toString();
    if (result.isError() && result.hasProperty(QStringLiteral("lineNumber")))
        text += QStringLiteral(" (line %1)").arg(result.property(QStringLiteral("lineNumber")).toInt());

    Q_EMIT finished();
    Q_EMIT sendDebug(text);
}

void QtScriptBackend::stop()
{
    QJSEngine *engine = nullptr;
    {
        QMutexLocker lock(&m_engineMutex);
        engine = m_engine;
        m_engine = nullptr;
    }
    if (!engine)
        return;
    // setInterrupted is safe from any thread; the engine itself is deleted on its own thread,
    // once the evaluation it may be running has returned.
    engine->setInterrupted(true);
    engine->deleteLater();
    Q_EMIT finished();
}

void QtScriptBackend::runTool(Grix::ToolsPluginInterface *plugin, GraphDocument *graphs)
{
    m_document = graphs;
    m_runningTool = true;
    m_script = plugin ? plugin->run(graphs) : QString();
    if (!m_script.isEmpty())
        start();
    m_runningTool = false;
}
