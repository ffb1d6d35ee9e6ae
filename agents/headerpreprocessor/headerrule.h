#ifndef TALVORI_HEADERRULE_H
#define TALVORI_HEADERRULE_H

#include <QByteArray>
#include <QList>
#include <QString>

class MessageHeader;

// "Give the item this flag when its header has that field": the field alone ("List-Id": present
// with any value) or the field with a value ("X-Spam-Flag: YES": present with that value, case
// and surrounding blanks aside).
class HeaderRule
{
public:
    // A rule from the texts of --flag and --if-header; false with *error when they make none.
    static bool parse(const QString &flag, const QString &condition, HeaderRule *rule, QString *error);

    // The flags of every rule that matches, each once, in the order of the rules.
    static QList<QByteArray> flagsFor(const QList<HeaderRule> &rules, const MessageHeader &header);

    QByteArray flag() const { return m_flag; }
    bool matches(const MessageHeader &header) const;

private:
    QByteArray m_flag;
    QByteArray m_field;
    QByteArray m_value; // empty: any value
    bool m_anyValue = true;
};

#endif
