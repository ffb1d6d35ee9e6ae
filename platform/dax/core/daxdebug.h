#ifndef DAXDEBUG_H
#define DAXDEBUG_H

#include <QDebug>
#include <QLoggingCategory>

// Diagnostic output of the framework and its users. It only reports: nothing ever depends on it.
// Texts are written unquoted, so a message reads exactly as composed; the category "dax" lets a
// program or test switch it off or catch it.
Q_DECLARE_LOGGING_CATEGORY(DAX_LOG)

#define daxDebug() qCDebug(DAX_LOG).noquote().nospace()
#define daxWarning() qCWarning(DAX_LOG).noquote().nospace()

#endif
