#include "htmltext.h"

#include <QHash>
#include <QSet>

namespace {

// Inline elements: their tags are no word boundary.
const QSet<QString> &inlineElements()
{
    static const QSet<QString> names{
        QStringLiteral("a"),    QStringLiteral("abbr"),   QStringLiteral("b"),    QStringLiteral("big"),
        QStringLiteral("cite"), QStringLiteral("code"),   QStringLiteral("em"),   QStringLiteral("font"),
        QStringLiteral("i"),    QStringLiteral("kbd"),    QStringLiteral("mark"), QStringLiteral("q"),
        QStringLiteral("s"),    QStringLiteral("samp"),   QStringLiteral("small"), QStringLiteral("span"),
        QStringLiteral("strike"), QStringLiteral("strong"), QStringLiteral("sub"), QStringLiteral("sup"),
        QStringLiteral("tt"),   QStringLiteral("u"),      QStringLiteral("var"),
    };
    return names;
}

// The named references mails use: markup, Latin-1 letters and signs, typography.
const QHash<QString, char32_t> &namedReferences()
{
    static const QHash<QString, char32_t> names = [] {
        QHash<QString, char32_t> table{
            {QStringLiteral("amp"), U'&'},      {QStringLiteral("lt"), U'<'},       {QStringLiteral("gt"), U'>'},
            {QStringLiteral("quot"), U'"'},     {QStringLiteral("apos"), U'\''},    {QStringLiteral("nbsp"), U' '},
            {QStringLiteral("ndash"), U'\u2013'}, {QStringLiteral("mdash"), U'\u2014'}, {QStringLiteral("lsquo"), U'\u2018'},
            {QStringLiteral("rsquo"), U'\u2019'}, {QStringLiteral("sbquo"), U'\u201A'}, {QStringLiteral("ldquo"), U'\u201C'},
            {QStringLiteral("rdquo"), U'\u201D'}, {QStringLiteral("bdquo"), U'\u201E'}, {QStringLiteral("hellip"), U'\u2026'},
            {QStringLiteral("bull"), U'\u2022'},  {QStringLiteral("euro"), U'\u20AC'},  {QStringLiteral("trade"), U'\u2122'},
            {QStringLiteral("zwnj"), U'\u200C'},  {QStringLiteral("zwj"), U'\u200D'},   {QStringLiteral("thinsp"), U'\u2009'},
        };
        // HTML 4's Latin-1 entities, U+00A1 to U+00FF in order.
        static const char *const latin1[] = {
            "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf", "laquo",
            "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para",
            "middot", "cedil", "sup1", "ordm", "raquo", "frac14", "frac12", "frac34", "iquest", "Agrave",
            "Aacute", "Acirc", "Atilde", "Auml", "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc",
            "Euml", "Igrave", "Iacute", "Icirc", "Iuml", "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc",
            "Otilde", "Ouml", "times", "Oslash", "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN",
            "szlig", "agrave", "aacute", "acirc", "atilde", "auml", "aring", "aelig", "ccedil", "egrave",
            "eacute", "ecirc", "euml", "igrave", "iacute", "icirc", "iuml", "eth", "ntilde", "ograve",
            "oacute", "ocirc", "otilde", "ouml", "divide", "oslash", "ugrave", "uacute", "ucirc", "uuml",
            "yacute", "thorn", "yuml"};
        char32_t code = 0xA1;
        for (const char *name : latin1)
            table.insert(QString::fromLatin1(name), code++);
        return table;
    }();
    return names;
}

// The character a reference at html[at] ('&') stands for, and its length; 0 when it is none.
char32_t reference(const QString &html, qsizetype at, qsizetype *length)
{
    const qsizetype end = html.indexOf(QLatin1Char(';'), at + 1);
    if (end < 0 || end - at > 12)
        return 0;
    const QString name = html.mid(at + 1, end - at - 1);
    *length = end - at + 1;
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X'));
        const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
        return ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) ? char32_t(code) : 0;
    }
    return namedReferences().value(name, 0);
}

// The lower-case name of the tag at html[at] ('<'), "!--" for a comment.
QString tagName(const QString &html, qsizetype at)
{
    qsizetype start = at + 1;
    if (html.mid(start, 3) == QLatin1String("!--"))
        return QStringLiteral("!--");
    if (start < html.size() && html.at(start) == QLatin1Char('/'))
        ++start;
    qsizetype end = start;
    while (end < html.size() && (html.at(end).isLetterOrNumber() || html.at(end) == QLatin1Char('!')))
        ++end;
    return html.mid(start, end - start).toLower();
}

} // namespace

QString HtmlText::toPlainText(const QString &html)
{
    QString text;
    text.reserve(html.size() / 2);
    qsizetype i = 0;
    while (i < html.size()) {
        const QChar c = html.at(i);
        if (c == QLatin1Char('<')) {
            const QString name = tagName(html, i);
            if (name == QLatin1String("!--")) {
                const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
                i = end < 0 ? html.size() : end + 3;
                text.append(QLatin1Char(' '));
                continue;
            }
            const bool closing = i + 1 < html.size() && html.at(i + 1) == QLatin1Char('/');
            const qsizetype end = html.indexOf(QLatin1Char('>'), i + 1);
            i = end < 0 ? html.size() : end + 1;
            if (!closing && (name == QLatin1String("script") || name == QLatin1String("style"))) {
                const qsizetype close = html.indexOf(QLatin1String("</") + name, i, Qt::CaseInsensitive);
                const qsizetype closeEnd = close < 0 ? -1 : html.indexOf(QLatin1Char('>'), close);
                i = closeEnd < 0 ? html.size() : closeEnd + 1;
            }
            if (!inlineElements().contains(name))
                text.append(QLatin1Char(' '));
            continue;
        }
        if (c == QLatin1Char('&')) {
            qsizetype length = 0;
            if (const char32_t code = reference(html, i, &length)) {
                text.append(QString::fromUcs4(&code, 1));
                i += length;
                continue;
            }
        }
        text.append(c);
        ++i;
    }
    return text;
}
