#ifndef DAXI18N_H
#define DAXI18N_H

#include <QString>

#include <type_traits>

// Translated user-visible text. The text is looked up in the installed translations (context
// "dax"); without one the text itself is used. Substitutions replace %1, %2, ... in a single
// pass, so a substituted value that itself contains "%2" is never substituted again.
QString daxTranslate(const char *text);

namespace DaxI18nDetail {
inline QString toText(const QString &s) { return s; }
inline QString toText(const char *s) { return QString::fromUtf8(s); }
template<typename T>
    requires std::is_arithmetic_v<T>
QString toText(T n)
{
    return QString::number(n);
}
}

inline QString i18n(const char *text)
{
    return daxTranslate(text);
}

template<typename... Args>
QString i18n(const char *text, const Args &...args)
{
    return daxTranslate(text).arg(DaxI18nDetail::toText(args)...);
}

#endif
