#include "log.h"

#include "filedebugstream.h"

#include <xdgbasedirs.h>

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QThreadStorage>

namespace {

struct LogState {
    QMutex mutex; // guards programName and logFile
    QString programName;
    QString logFile;
    QMutex fileMutex; // held while one line is appended
};

LogState &state()
{
    static LogState instance;
    return instance;
}

QThreadStorage<FileDebugStream *> &threadStreams()
{
    static QThreadStorage<FileDebugStream *> streams;
    return streams;
}

QDebug fileStream(QtMsgType type)
{
    if (!threadStreams().hasLocalData())
        threadStreams().setLocalData(new FileDebugStream);
    FileDebugStream *stream = threadStreams().localData();
    stream->setType(type);
    return QDebug(stream);
}

} // namespace

QDebug logDebug()
{
    return qDebug();
}

QDebug logError()
{
    return fileStream(QtCriticalMsg);
}

QDebug logFatal()
{
    return fileStream(QtFatalMsg);
}

QString errorLogFileName()
{
    QString program;
    {
        QMutexLocker locker(&state().mutex);
        program = state().programName;
    }
    return XdgBaseDirs::saveDir("data", QStringLiteral("talvori")) + QDir::separator() + program + QLatin1String(".error");
}

void initLogging(const QString &appName)
{
    {
        QMutexLocker locker(&state().mutex);
        const int slash = appName.lastIndexOf(QLatin1Char('/'));
        state().programName = slash >= 0 ? appName.mid(slash + 1) : appName;
    }
    const QString fileName = errorLogFileName();
    {
        QMutexLocker locker(&state().mutex);
        state().logFile = fileName;
    }

    const QString oldName = fileName + QLatin1String(".old");
    if (QFile::exists(oldName) && !QFile::remove(oldName))
        qFatal("Cannot remove old log file - running on a readlony filesystem maybe?");
    if (QFile::exists(fileName) && !QFile::rename(fileName, oldName))
        qFatal("Cannot rename log file - running on a readonly filesystem maybe?");
}

QString TalvoriLog::currentLogFile()
{
    QMutexLocker locker(&state().mutex);
    return state().logFile;
}

void TalvoriLog::appendToLogFile(const QByteArray &text)
{
    const QString fileName = currentLogFile();
    if (fileName.isEmpty())
        return;
    QMutexLocker locker(&state().fileMutex);
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return;
    file.write(text + '\n');
    file.close();
}
