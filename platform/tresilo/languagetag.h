#ifndef TRESILO_LANGUAGETAG_H
#define TRESILO_LANGUAGETAG_H

#include <QString>

namespace Tresilo {

// The language of a plain literal ("en", "de-CH"). Tags compare without regard to case, as RDF
// compares them; the text keeps the case it was given.
class LanguageTag
{
public:
    LanguageTag() = default;
    explicit LanguageTag(const QString &tag);

    bool isEmpty() const { return m_tag.isEmpty(); }
    QString toString() const { return m_tag; }

    bool operator==(const LanguageTag &other) const;

private:
    QString m_tag;
};

} // namespace Tresilo

#endif
