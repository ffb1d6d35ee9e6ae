#ifndef TALVORI_AGENTLOG_H
#define TALVORI_AGENTLOG_H

#include <QString>

// What the resource tells its user, on standard error: progress of long synchronisations and every
// error with the file or command it concerns. Each line starts with the program and the resource's
// identifier.
namespace AgentLog {

void setIdentifier(const QString &identifier);
void message(const QString &text);

} // namespace AgentLog

#endif
