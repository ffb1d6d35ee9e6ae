#ifndef TALVORI_LOG_H
#define TALVORI_LOG_H

#include <QDebug>
#include <QString>

// The server's log streams. Debug lines go to Qt's message output only; error and fatal lines are
// also appended to the error log file (see errorLogFileName()). A fatal line ends the process when
// its statement completes.
QDebug logDebug();
QDebug logError();
QDebug logFatal();

// Names the error log after the program (the part of appName after its last "/") and keeps the
// previous run's log as "<name>.error.old". Until this runs, error lines reach Qt only.
void initLogging(const QString &appName);

// <data home>/talvori/<program>.error
QString errorLogFileName();

namespace TalvoriLog {
// The file error and fatal lines are appended to; empty until logging is initialised.
QString currentLogFile();
// Appends one line to the error log file; lines from different threads never interleave.
void appendToLogFile(const QByteArray &text);
}

#endif
