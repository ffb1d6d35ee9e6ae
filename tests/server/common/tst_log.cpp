// The log streams: what reaches the error log file, what reaches Qt's message output, and lines
// from many threads at once.

#include "common/log.h"

#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {
QMutex s_mutex;
QList<std::pair<QtMsgType, QString>> s_messages;

void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    QMutexLocker locker(&s_mutex);
    s_messages.append({type, message});
}
}

class LogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void errorLinesGoToFileAndQt();
    void linesFromManyThreadsStayWhole();

private:
    QByteArray readLog();

    QTemporaryDir m_dir;
};

void LogTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_DATA_HOME", m_dir.path().toLocal8Bit());
    initLogging(QStringLiteral("/some/where/logtest"));
    QCOMPARE(errorLogFileName(), m_dir.path() + QLatin1String("/talvori/logtest.error"));
    QVERIFY(!QFile::exists(errorLogFileName())); // created by the first error line only
}

QByteArray LogTest::readLog()
{
    QFile file(errorLogFileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void LogTest::errorLinesGoToFileAndQt()
{
    qInstallMessageHandler(collect);
    logDebug() << "a debug line";
    logError() << "  padded error" << 42 << " ";
    qInstallMessageHandler(nullptr);

    const QByteArray log = readLog();
    QVERIFY2(!log.contains("debug"), log.constData());
    // The statement as QDebug built it, plus exactly one newline.
    QVERIFY2(log.startsWith("  padded error 42   \n"), log.constData());
    QCOMPARE(log.count('\n'), 1);

    QMutexLocker locker(&s_mutex);
    QCOMPARE(s_messages.size(), 2);
    QCOMPARE(s_messages.at(1).first, QtCriticalMsg);
    QCOMPARE(s_messages.at(1).second, QStringLiteral("padded error 42"));
    s_messages.clear();
}

void LogTest::linesFromManyThreadsStayWhole()
{
    QFile::remove(errorLogFileName());
    qInstallMessageHandler(collect);
    const QByteArray payload(2000, 'x');
    QList<QThread *> threads;
    for (int t = 0; t < 4; ++t) {
        threads.append(QThread::create([t, payload]() {
            for (int i = 0; i < 200; ++i)
                logError() << "thread" << t << "line" << i << payload.constData();
        }));
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
    qInstallMessageHandler(nullptr);

    const QList<QByteArray> lines = readLog().split('\n');
    QCOMPARE(lines.size(), 801); // 800 lines and what follows the last newline
    static const QRegularExpression whole(QStringLiteral("^thread \\d line \\d+ x{2000} $"));
    for (int i = 0; i < 800; ++i)
        QVERIFY2(whole.match(QString::fromLatin1(lines.at(i))).hasMatch(), lines.at(i).left(60).constData());
    QMutexLocker locker(&s_mutex);
    QCOMPARE(s_messages.size(), 800);
    for (const auto &message : std::as_const(s_messages))
        QCOMPARE(message.first, QtCriticalMsg);
}

QTEST_GUILESS_MAIN(LogTest)
#include "tst_log.moc"
