#include "processcpu.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

ProcessCpu::ProcessCpu(qint64 pid)
    : m_pid(pid)
{
}

double ProcessCpu::seconds() const
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(m_pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // The command name may hold blanks; the fields are counted after its closing parenthesis,
    // where utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}
