#ifndef DAXAPPI18N_H
#define DAXAPPI18N_H

#include <QString>

// Translation for the application frame and the programs built on it. The framework core's
// i18n() is used when the core is part of the build; otherwise the text itself stands in.
#ifdef DAXAPP_HAVE_CORE_I18N
#include "daxi18n.h"
#else
inline QString i18n(const char *text)
{
    return QString::fromUtf8(text);
}

template<typename... Args>
QString i18n(const char *text, const Args &...args)
{
    QString result = QString::fromUtf8(text);
    ((result = result.arg(args)), ...);
    return result;
}
#endif

// Plural forms: the singular text for n == 1, the plural text otherwise; %1 becomes n.
inline QString i18np(const char *singular, const char *plural, qint64 n)
{
    return i18n(n == 1 ? singular : plural).arg(n);
}

#endif
