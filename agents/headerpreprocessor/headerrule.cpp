#include "headerrule.h"

#include "messageheader.h"

namespace {

// A flag travels as an atom in STORE: no blanks, brackets, quotes or wildcards.
bool isAtom(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (c <= ' ' || c >= 127 || QByteArrayView("(){}\"\\%*]").contains(c))
            return false;
    }
    return true;
}

} // namespace

bool HeaderRule::parse(const QString &flag, const QString &condition, HeaderRule *rule, QString *error)
{
    const QByteArray flagBytes = flag.toUtf8();
    if (!isAtom(flagBytes)) {
        *error = QStringLiteral("'%1' cannot be a flag (no blanks, brackets, quotes, %, * or \\)").arg(flag);
        return false;
    }
    const QByteArray text = condition.toUtf8();
    const qsizetype colon = text.indexOf(':');
    HeaderRule result;
    result.m_flag = flagBytes;
    result.m_field = (colon < 0 ? text : text.left(colon)).trimmed();
    if (colon >= 0) {
        result.m_value = text.mid(colon + 1).trimmed();
        result.m_anyValue = false;
    }
    if (result.m_field.isEmpty() || result.m_field.contains(' ')) {
        *error = QStringLiteral("'%1' names no header field").arg(condition);
        return false;
    }
    *rule = result;
    return true;
}

bool HeaderRule::matches(const MessageHeader &header) const
{
    const QList<QByteArray> values = header.values(m_field);
    if (m_anyValue)
        return !values.isEmpty();
    const QByteArray wanted = m_value.toLower();
    return std::any_of(values.cbegin(), values.cend(), [&](const QByteArray &value) { return value.toLower() == wanted; });
}

QList<QByteArray> HeaderRule::flagsFor(const QList<HeaderRule> &rules, const MessageHeader &header)
{
    QList<QByteArray> flags;
    for (const HeaderRule &rule : rules) {
        if (rule.matches(header) && !flags.contains(rule.flag()))
            flags.append(rule.flag());
    }
    return flags;
}
