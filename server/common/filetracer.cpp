#include "common/filetracer.h"

#include "common/log.h"

#include <xdgbasedirs.h>

#include <QDateTime>

FileTracer::FileTracer(const QString &fileName)
    : m_file(fileName)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        logError() << "Cannot open the trace file" << fileName << ":" << m_file.errorString();
}

QString FileTracer::defaultFileName()
{
    return XdgBaseDirs::saveDir("data", QStringLiteral("talvori")) + QStringLiteral("/talvoriserver.trace");
}

void FileTracer::writeLine(const QString &first, const QString &second)
{
    if (!m_file.isOpen())
        return;
    QString text = second;
    text.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    const QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + first
        + QLatin1String(": ") + text + QLatin1String("\r\n");
    m_file.write(line.toUtf8());
}

void FileTracer::beginConnection(const QString &identifier, const QString &msg)
{
    writeLine(identifier, QStringLiteral("begin_connection: %1").arg(msg));
}

void FileTracer::endConnection(const QString &identifier, const QString &msg)
{
    writeLine(identifier, QStringLiteral("end_connection: %1").arg(msg));
}

void FileTracer::connectionInput(const QString &identifier, const QString &msg)
{
    writeLine(identifier, QStringLiteral("input: %1").arg(msg));
}

void FileTracer::connectionOutput(const QString &identifier, const QString &msg)
{
    writeLine(identifier, QStringLiteral("output: %1").arg(msg));
}

void FileTracer::signal(const QString &signalName, const QString &msg)
{
    writeLine(QStringLiteral("signal"), QStringLiteral("<%1> %2").arg(signalName, msg));
}

void FileTracer::warning(const QString &componentName, const QString &msg)
{
    writeLine(QStringLiteral("warning"), QStringLiteral("<%1> %2").arg(componentName, msg));
}

void FileTracer::error(const QString &componentName, const QString &msg)
{
    writeLine(QStringLiteral("error"), QStringLiteral("<%1> %2").arg(componentName, msg));
}
