#include "localsearchschema.h"

namespace LocalSearchSchema {

namespace {

// Xapian refuses terms longer than this many bytes.
constexpr std::size_t MaxTermLength = 240;

} // namespace

const QList<TextField> &textFields()
{
    static const QList<TextField> fields{
        {"from", "A", {PimText::From}, true},
        {"to", "XTO", {PimText::To, PimText::Cc}, true},
        {"subject", "S", {PimText::Subject, PimText::Summary}, true},
        {"body", "XB", {PimText::Body, PimText::Description}, false},
        {"name", "XNAME", {PimText::Name}, true},
        {"email", "XEMAIL", {PimText::Email}, true},
        {"tel", "XTEL", {PimText::Phone}, true},
        {"org", "XORG", {PimText::Organization}, true},
        {"location", "XLOC", {PimText::Location}, true},
    };
    return fields;
}

const QList<BooleanField> &booleanFields()
{
    static const QList<BooleanField> fields{
        {"msgid", "XMID"},
        {"collection", "XC"},
        {"mimetype", "T"},
    };
    return fields;
}

std::string booleanPrefix(const char *word)
{
    for (const BooleanField &field : booleanFields()) {
        if (qstrcmp(field.word, word) == 0)
            return field.prefix;
    }
    Q_UNREACHABLE();
    return std::string();
}

const TextField *textFieldFor(PimText::Field field)
{
    for (const TextField &text : textFields()) {
        if (text.fields.contains(field))
            return &text;
    }
    return nullptr;
}

std::string bodyPrefix()
{
    for (const TextField &text : textFields()) {
        if (qstrcmp(text.word, "body") == 0)
            return text.prefix;
    }
    Q_UNREACHABLE();
    return std::string();
}

std::string booleanTerm(const std::string &prefix, const QString &value)
{
    std::string term = prefix + value.toStdString();
    if (term.size() > MaxTermLength)
        term.resize(MaxTermLength);
    return term;
}

} // namespace LocalSearchSchema
