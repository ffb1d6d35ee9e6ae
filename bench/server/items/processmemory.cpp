#include "processmemory.h"

#include <QByteArray>
#include <QFile>

ProcessMemory::ProcessMemory(qint64 pid)
    : m_pid(pid)
{
}

qint64 ProcessMemory::statusValue(const char *key) const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            bool ok = false;
            const qint64 value = line.mid(prefix.size()).simplified().split(' ').value(0).toLongLong(&ok);
            return ok ? value : -1;
        }
    }
    return -1;
}

qint64 ProcessMemory::residentKiB() const
{
    return statusValue("VmRSS");
}

qint64 ProcessMemory::peakKiB() const
{
    return statusValue("VmHWM");
}

bool ProcessMemory::resetPeak() const
{
    // "5" resets the high water mark (Linux 4.0 and later).
    QFile clearRefs(QStringLiteral("/proc/%1/clear_refs").arg(m_pid));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}
