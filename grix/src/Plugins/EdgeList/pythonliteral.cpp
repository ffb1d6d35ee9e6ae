#include "pythonliteral.h"

#include <QLocale>
#include <QStringList>

#include <cmath>
#include <limits>

namespace PythonLiteral {

namespace {

class Parser
{
public:
    explicit Parser(QStringView text)
        : m_text(text)
    {
    }

    bool dict(Dict *out)
    {
        if (!take(u'{'))
            return false;
        if (take(u'}'))
            return atEnd();
        while (true) {
            QString key;
            QVariant value;
            if (!string(&key) || !take(u':') || !literal(&value))
                return false;
            out->append({key, value});
            if (take(u'}'))
                return atEnd();
            if (!take(u','))
                return false;
            if (take(u'}')) // a trailing comma
                return atEnd();
        }
    }

private:
    void blanks()
    {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
    }

    bool take(char16_t c)
    {
        blanks();
        if (m_pos < m_text.size() && m_text.at(m_pos) == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool atEnd()
    {
        blanks();
        return m_pos == m_text.size();
    }

    bool string(QString *out)
    {
        blanks();
        if (m_pos >= m_text.size())
            return false;
        const QChar quote = m_text.at(m_pos);
        if (quote != u'\'' && quote != u'"')
            return false;
        ++m_pos;
        while (m_pos < m_text.size()) {
            const QChar c = m_text.at(m_pos++);
            if (c == quote)
                return true;
            if (c != u'\\') {
                out->append(c);
                continue;
            }
            if (m_pos >= m_text.size() || !escape(out))
                return false;
        }
        return false;
    }

    bool escape(QString *out)
    {
        const QChar c = m_text.at(m_pos++);
        switch (c.unicode()) {
        case 'n':
            out->append(u'\n');
            return true;
        case 't':
            out->append(u'\t');
            return true;
        case 'r':
            out->append(u'\r');
            return true;
        case 'x':
            return hex(2, out);
        case 'u':
            return hex(4, out);
        case 'U':
            return hex(8, out);
        default:
            out->append(c); // \\, \', \" and anything else stand for themselves
            return true;
        }
    }

    bool hex(int digits, QString *out)
    {
        if (m_pos + digits > m_text.size())
            return false;
        bool ok = false;
        const uint code = m_text.mid(m_pos, digits).toUInt(&ok, 16);
        if (!ok || code > 0x10FFFF)
            return false;
        m_pos += digits;
        const char32_t ucs4 = code;
        out->append(QString::fromUcs4(&ucs4, 1));
        return true;
    }

    bool literal(QVariant *out)
    {
        blanks();
        QString text;
        if (m_pos < m_text.size() && (m_text.at(m_pos) == u'\'' || m_text.at(m_pos) == u'"')) {
            if (!string(&text))
                return false;
            *out = text;
            return true;
        }
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && m_text.at(m_pos) != u',' && m_text.at(m_pos) != u'}')
            ++m_pos;
        const QStringView word = m_text.mid(start, m_pos - start).trimmed();
        return bareWord(word, out);
    }

    static bool bareWord(QStringView word, QVariant *out)
    {
        if (word == u"True" || word == u"False") {
            *out = word == u"True";
            return true;
        }
        if (word == u"None") {
            *out = QVariant();
            return true;
        }
        bool ok = false;
        const qlonglong integer = word.toLongLong(&ok);
        if (ok) {
            *out = integer >= std::numeric_limits<int>::min() && integer <= std::numeric_limits<int>::max() ? QVariant(int(integer))
                                                                                                             : QVariant(integer);
            return true;
        }
        // Python writes no "inf" or "nan" literal; Qt would read them, so they are refused here.
        if (word.contains(u'n') || word.contains(u'N'))
            return false;
        const double real = word.toDouble(&ok);
        if (ok)
            *out = real;
        return ok;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

QString quoted(const QString &text)
{
    QString out = QStringLiteral("'");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\'':
            out += QLatin1String("\\'");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            out += c;
        }
    }
    return out + QLatin1Char('\'');
}

QString formatValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toString();
    case QMetaType::Float:
    case QMetaType::Double: {
        const double real = value.toDouble();
        if (!std::isfinite(real))
            return quoted(value.toString()); // no literal for these; kept as their text
        QString text = QString::number(real, 'g', QLocale::FloatingPointShortest);
        if (!text.contains(u'.') && !text.contains(u'e'))
            text += QLatin1String(".0");
        return text;
    }
    default:
        return quoted(value.toString());
    }
}

} // namespace

bool parseDict(QStringView text, Dict *dict)
{
    Dict parsed;
    if (!Parser(text).dict(&parsed))
        return false;
    *dict = std::move(parsed);
    return true;
}

QString formatDict(const Dict &dict)
{
    QStringList pairs;
    pairs.reserve(dict.size());
    for (const auto &[key, value] : dict)
        pairs.append(quoted(key) + QLatin1String(": ") + formatValue(value));
    return QLatin1Char('{') + pairs.join(QLatin1String(", ")) + QLatin1Char('}');
}

}
