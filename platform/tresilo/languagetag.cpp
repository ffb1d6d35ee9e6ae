#include "languagetag.h"

namespace Tresilo {

LanguageTag::LanguageTag(const QString &tag)
    : m_tag(tag)
{
}

bool LanguageTag::operator==(const LanguageTag &other) const
{
    return m_tag.compare(other.m_tag, Qt::CaseInsensitive) == 0;
}

} // namespace Tresilo
