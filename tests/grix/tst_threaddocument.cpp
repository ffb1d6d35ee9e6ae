// The document thread: documents are made, loaded and replaced on the worker thread, and the
// creator's wait condition wakes for each.
#include <graph.h>
#include <graphdocument.h>
#include <node.h>
#include <qtscriptbackend.h>
#include <threaddocument.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestThreadDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void documentsLiveOnTheThread();
    void scriptsRunOnTheThread();

private:
    // Waits, as an editor does, until the thread has put a document newer than generation in place.
    bool waitForGeneration(ThreadDocument &thread, int generation)
    {
        QMutexLocker lock(&m_mutex);
        while (thread.generation() <= generation) {
            if (!m_condition.wait(&m_mutex, 5000))
                return false;
        }
        return true;
    }

    QMutex m_mutex;
    QWaitCondition m_condition;
};

void TestThreadDocument::documentsLiveOnTheThread()
{
    ThreadDocument thread(m_condition, m_mutex);
    {
        QMutexLocker lock(&m_mutex);
        thread.start();
        while (!thread.document())
            QVERIFY(m_condition.wait(&m_mutex, 5000));
        QCOMPARE(thread.document()->thread(), &thread);
        QCOMPARE(thread.engine()->thread(), &thread);
        QCOMPARE(thread.document()->count(), 1);
        QCOMPARE(thread.document()->first()->name(), QStringLiteral("Untitled0"));
        QCOMPARE(thread.document()->name(), QStringLiteral("Untitled"));
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("two.graph"));
    {
        GraphDocument source(QStringLiteral("s"), 800, 600);
        source.addGraph(QStringLiteral("one"))->addNode(QStringLiteral("n"));
        source.addGraph(QStringLiteral("two"));
        QVERIFY(source.saveAsInternalFormat(path));
    }
    int generation = thread.generation();
    thread.loadDocument(path); // runs on the thread, not here
    QVERIFY(waitForGeneration(thread, generation));
    {
        QMutexLocker lock(&m_mutex);
        GraphDocument *doc = thread.document();
        QCOMPARE(doc->count(), 2);
        QCOMPARE(doc->at(1)->name(), QStringLiteral("two"));
        QCOMPARE(doc->first()->nodes().size(), 1);
        QCOMPARE(doc->thread(), &thread);
    }

    generation = thread.generation();
    thread.createEmptyDocument();
    QVERIFY(waitForGeneration(thread, generation));
    {
        QMutexLocker lock(&m_mutex);
        QVERIFY(thread.document()->isEmpty());
    }

    // A document made here is adopted by the thread.
    auto *mine = new GraphDocument(QStringLiteral("mine"), 10, 10);
    mine->addGraph(QStringLiteral("g"));
    generation = thread.generation();
    thread.setGraphDocument(mine);
    QVERIFY(waitForGeneration(thread, generation));
    QMutexLocker lock(&m_mutex);
    QCOMPARE(thread.document(), mine);
    QCOMPARE(mine->thread(), &thread);
    QCOMPARE(thread.engine()->thread(), &thread);
    QVERIFY(!thread.isRunning());
}

void TestThreadDocument::scriptsRunOnTheThread()
{
    ThreadDocument thread(m_condition, m_mutex);
    QtScriptBackend *backend = nullptr;
    GraphDocument *doc = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        thread.start();
        while (!thread.document())
            QVERIFY(m_condition.wait(&m_mutex, 5000));
        backend = thread.engine();
        doc = thread.document();
    }
    QSignalSpy out(backend, &QtScriptBackend::sendOutput);
    QSignalSpy finished(backend, &QtScriptBackend::finished);
    backend->setScript(QStringLiteral("var g = graphs[0]; var a = g.add_node('a'); g.add_edge(a, g.add_node('b'));"
                                      "output(g.list_edges().length)"),
                       doc);
    QMetaObject::invokeMethod(backend, &QtScriptBackend::start, Qt::QueuedConnection);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(out.count(), 1);
    QCOMPARE(out.first().at(0).toString(), QStringLiteral("1 \n"));
    QCOMPARE(backend->engine()->thread(), &thread);
}

QTEST_GUILESS_MAIN(TestThreadDocument)
#include "tst_threaddocument.moc"
