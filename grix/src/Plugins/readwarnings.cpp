#include "readwarnings.h"

namespace Grix {

void ReadWarnings::add(const QString &problem, qint64 line)
{
    for (Entry &entry : m_entries) {
        if (entry.problem == problem) {
            ++entry.count;
            return;
        }
    }
    m_entries.append({problem, 1, line});
}

QStringList ReadWarnings::texts() const
{
    QStringList texts;
    for (const Entry &entry : m_entries) {
        QString text = entry.problem;
        text += entry.count == 1 ? QStringLiteral(": once") : QStringLiteral(": %1 times").arg(entry.count);
        if (entry.firstLine > 0)
            text += (entry.count == 1 ? QStringLiteral(", at line %1") : QStringLiteral(", first at line %1")).arg(entry.firstLine);
        texts.append(text);
    }
    return texts;
}

}
