#ifndef TRESILO_LITERALVALUE_H
#define TRESILO_LITERALVALUE_H

#include "languagetag.h"

#include <QString>
#include <QUrl>

namespace Tresilo {

// The value of a literal node: its lexical text with either a language tag (a plain literal) or a
// data type URI (a typed literal), never both.
class LiteralValue
{
public:
    LiteralValue() = default;

    static LiteralValue createPlainLiteral(const QString &text, const LanguageTag &language = LanguageTag());
    static LiteralValue fromString(const QString &text, const QUrl &dataType);

    bool isValid() const { return m_valid; }
    bool isPlain() const { return m_valid && m_dataType.isEmpty(); }
    QString toString() const { return m_text; }
    LanguageTag language() const { return m_language; }
    // Empty for a plain literal.
    QUrl dataTypeUri() const { return m_dataType; }

    bool operator==(const LiteralValue &other) const;

private:
    QString m_text;
    LanguageTag m_language;
    QUrl m_dataType;
    bool m_valid = false;
};

} // namespace Tresilo

#endif
