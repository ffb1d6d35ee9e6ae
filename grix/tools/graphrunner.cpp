#include "graphrunner.h"

#include <fileplugininterface.h>
#include <graphdocument.h>
#include <pluginmanager.h>
#include <qtscriptbackend.h>
#include <threaddocument.h>
#include <toolsplugininterface.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

bool isInternalFormat(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".graph"));
}

Grix::FilePluginInterface *pluginFor(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.isEmpty())
        return nullptr;
    Grix::PluginManager *manager = Grix::PluginManager::New();
    if (manager->filePlugins().isEmpty())
        manager->loadFilePlugins();
    // Match the pattern "*.suffix", not any text of the filter entries.
    for (Grix::FilePluginInterface *plugin : manager->filePlugins()) {
        for (const QString &entry : plugin->extensions()) {
            if (entry.section(QLatin1Char('|'), 0, 0).trimmed().compare(QLatin1String("*.") + suffix, Qt::CaseInsensitive) == 0)
                return plugin;
        }
    }
    return nullptr;
}

} // namespace

GraphRunner::GraphRunner()
    : m_thread(std::make_unique<ThreadDocument>(m_condition, m_mutex))
{
    QMutexLocker lock(&m_mutex);
    m_thread->start();
    while (!m_thread->document())
        m_condition.wait(&m_mutex);
}

GraphRunner::~GraphRunner() = default;

GraphDocument *GraphRunner::read(const QString &fileName)
{
    if (!QFileInfo(fileName).isFile()) {
        m_error = QStringLiteral("Cannot read %1: no such file.").arg(fileName);
        return nullptr;
    }
    if (isInternalFormat(fileName)) {
        auto *doc = new GraphDocument(QFileInfo(fileName).completeBaseName(), 800, 600);
        if (!doc->loadFromInternalFormat(fileName)) {
            m_error = QStringLiteral("Cannot open %1.").arg(fileName);
            delete doc;
            return nullptr;
        }
        return doc;
    }
    Grix::FilePluginInterface *plugin = pluginFor(fileName);
    if (!plugin) {
        m_error = QStringLiteral("No file plug-in reads %1.").arg(fileName);
        return nullptr;
    }
    GraphDocument *doc = plugin->readFile(fileName);
    if (!doc)
        m_error = plugin->lastError();
    else
        m_warnings = plugin->warnings();
    return doc;
}

void GraphRunner::adopt(GraphDocument *doc)
{
    if (!doc)
        return;
    QMutexLocker lock(&m_mutex);
    const int generation = m_thread->generation();
    lock.unlock();
    m_thread->setGraphDocument(doc);
    lock.relock();
    while (m_thread->generation() == generation)
        m_condition.wait(&m_mutex);
}

bool GraphRunner::write(const QString &fileName)
{
    GraphDocument *doc = m_thread->document();
    bool ok = false;
    if (isInternalFormat(fileName)) {
        // The document belongs to the worker thread; it saves itself there.
        QMetaObject::invokeMethod(doc, [&] { ok = doc->saveAsInternalFormat(fileName); }, Qt::BlockingQueuedConnection);
        if (!ok)
            m_error = QStringLiteral("Cannot save %1.").arg(fileName);
        return ok;
    }
    Grix::FilePluginInterface *plugin = pluginFor(fileName);
    if (!plugin) {
        m_error = QStringLiteral("No file plug-in writes %1.").arg(fileName);
        return false;
    }
    QMetaObject::invokeMethod(doc, [&] { ok = plugin->writeFile(*doc, fileName); }, Qt::BlockingQueuedConnection);
    if (!ok)
        m_error = plugin->lastError();
    return ok;
}

bool GraphRunner::run(const std::function<void()> &start, int timeoutMs)
{
    QtScriptBackend *backend = m_thread->engine();
    QEventLoop loop;
    bool timedOut = false;
    const auto out = connect(backend, &QtScriptBackend::sendOutput, this, [](const QString &text) {
        std::fputs(qPrintable(text), stdout);
        std::fflush(stdout);
    }, Qt::DirectConnection);
    // debug() texts of the script go to stderr; after finished() comes the script's result,
    // which is only worth showing when it is an error.
    bool finished = false;
    const auto done = connect(backend, &QtScriptBackend::finished, this, [&finished] { finished = true; },
                              Qt::DirectConnection);
    const auto debug = connect(backend, &QtScriptBackend::sendDebug, this, [&finished, backend](const QString &text) {
        if (!finished)
            std::fputs(qPrintable(text), stderr);
        else if (backend->lastRunFailed())
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }, Qt::DirectConnection);
    QMetaObject::invokeMethod(backend, [&loop, start] {
        start();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    QTimer timer;
    if (timeoutMs > 0) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [&] {
            timedOut = true;
            backend->stop();
        });
        timer.start(timeoutMs);
    }
    loop.exec();
    disconnect(out);
    disconnect(debug);
    disconnect(done);
    if (timedOut) {
        m_error = QStringLiteral("The script was stopped after %1 ms.").arg(timeoutMs);
        return false;
    }
    if (backend->lastRunFailed()) {
        m_error = QStringLiteral("The script failed.");
        return false;
    }
    return true;
}

bool GraphRunner::runScript(const QString &script, int timeoutMs)
{
    QtScriptBackend *backend = m_thread->engine();
    GraphDocument *doc = m_thread->document();
    return run([backend, doc, script] {
        backend->setScript(script, doc);
        backend->start();
    }, timeoutMs);
}

bool GraphRunner::runTool(const QString &toolName, int timeoutMs)
{
    Grix::PluginManager *manager = Grix::PluginManager::New();
    Grix::ToolsPluginInterface *tool = manager->toolPlugin(toolName);
    if (!tool && manager->loadToolPlugin(toolName))
        tool = manager->toolPlugin(toolName);
    if (!tool) {
        m_error = QStringLiteral("No tool plug-in named %1.").arg(toolName);
        return false;
    }
    QtScriptBackend *backend = m_thread->engine();
    GraphDocument *doc = m_thread->document();
    return run([backend, doc, tool] {
        backend->runTool(tool, doc);
    }, timeoutMs);
}
