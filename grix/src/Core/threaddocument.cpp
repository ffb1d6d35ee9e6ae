#include "threaddocument.h"

#include "graphdocument.h"
#include "qtscriptbackend.h"

#include <daxi18n.h>

ThreadDocument::ThreadDocument(QWaitCondition &docCondition, QMutex &mutex, QObject *parent)
    : QThread(parent)
    , m_docCondition(docCondition)
    , m_mutex(mutex)
{
}

ThreadDocument::~ThreadDocument()
{
    quit();
    wait();
    delete m_engine;
    delete m_document;
}

bool ThreadDocument::isRunning() const
{
    return m_engine ? m_engine->isRunning() : false;
}

void ThreadDocument::install(GraphDocument *doc, QtScriptBackend *engine)
{
    // Whoever made them (this thread, or the caller of setGraphDocument), they live here now.
    if (doc->thread() != this)
        doc->moveToThread(this);
    if (engine->thread() != this)
        engine->moveToThread(this);
    QMutexLocker lock(&m_mutex);
    if (m_engine) {
        m_engine->stop();
        m_engine->deleteLater();
    }
    if (m_document)
        m_document->deleteLater();
    m_document = doc;
    m_engine = engine;
    ++m_generation;
    m_docCondition.wakeAll();
}

void ThreadDocument::run()
{
    QObject context;
    m_context = &context;
    loadDocument(QString());
    exec();
    m_context = nullptr;
}

bool ThreadDocument::forwarded(std::function<void()> work)
{
    QObject *context = m_context;
    if (!context || QThread::currentThread() == this)
        return false;
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
    return true;
}

void ThreadDocument::createEmptyDocument()
{
    if (forwarded([this] { createEmptyDocument(); }))
        return;
    install(new GraphDocument(i18n("Untitled"), 800, 600), new QtScriptBackend);
}

void ThreadDocument::loadDocument(const QString &name)
{
    if (forwarded([this, name] { loadDocument(name); }))
        return;
    // Published once complete: a waiter must never see a document that is still being filled.
    auto *doc = new GraphDocument(i18n("Untitled"), 800, 600);
    if (!name.isEmpty())
        doc->loadFromInternalFormat(name);
    else
        doc->addGraph(i18n("Untitled0"));
    install(doc, new QtScriptBackend);
}

void ThreadDocument::setGraphDocument(GraphDocument *doc)
{
    install(doc, new QtScriptBackend);
}
