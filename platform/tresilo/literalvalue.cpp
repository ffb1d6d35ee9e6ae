#include "literalvalue.h"

namespace Tresilo {

LiteralValue LiteralValue::createPlainLiteral(const QString &text, const LanguageTag &language)
{
    LiteralValue value;
    value.m_text = text;
    value.m_language = language;
    value.m_valid = true;
    return value;
}

LiteralValue LiteralValue::fromString(const QString &text, const QUrl &dataType)
{
    LiteralValue value;
    value.m_text = text;
    value.m_dataType = dataType;
    value.m_valid = true;
    return value;
}

bool LiteralValue::operator==(const LiteralValue &other) const
{
    return m_valid == other.m_valid && m_text == other.m_text && m_language == other.m_language
        && m_dataType == other.m_dataType;
}

} // namespace Tresilo
