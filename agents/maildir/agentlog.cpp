#include "agentlog.h"

#include <cstdio>

namespace {
QString s_prefix = QStringLiteral("talvori-maildir-resource: ");
}

namespace AgentLog {

void setIdentifier(const QString &identifier)
{
    s_prefix = QStringLiteral("talvori-maildir-resource[%1]: ").arg(identifier);
}

void message(const QString &text)
{
    const QByteArray line = (s_prefix + text).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace AgentLog
