#include "textdecoding.h"

#include <gmime/gmime.h>

#include <mutex>

namespace TextDecoding {

namespace {

// The bytes converted from the iconv charset; false when iconv does not know it or the bytes are
// not valid in it.
bool convert(const QByteArray &bytes, const char *charset, QString *text)
{
    gsize written = 0;
    GError *error = nullptr;
    gchar *utf8 = g_convert(bytes.constData(), gssize(bytes.size()), "UTF-8", charset, nullptr, &written, &error);
    if (!utf8) {
        g_clear_error(&error);
        return false;
    }
    *text = QString::fromUtf8(utf8, qsizetype(written));
    g_free(utf8);
    return true;
}

bool isUtf8(const QByteArray &bytes)
{
    return g_utf8_validate(bytes.constData(), gssize(bytes.size()), nullptr);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

void initialize()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

QString decode(const QByteArray &bytes, const QByteArray &charset)
{
    QString text;
    if (!charset.isEmpty()) {
        initialize();
        const char *name = g_mime_charset_iconv_name(charset.constData());
        if (name && convert(bytes, name, &text))
            return text;
    }
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes);
    // A few bytes have no character in Windows-1252; Latin-1 has one for every byte.
    if (convert(bytes, "WINDOWS-1252", &text))
        return text;
    return QString::fromLatin1(bytes);
}

QByteArray fromQuotedPrintable(const QByteArray &encoded)
{
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        if (c != '=') {
            decoded.append(c);
            continue;
        }
        // A soft line break, possibly after trailing blanks a mail program left.
        qsizetype next = i + 1;
        while (next < encoded.size() && (encoded.at(next) == ' ' || encoded.at(next) == '\t'))
            ++next;
        if (next < encoded.size() && (encoded.at(next) == '\r' || encoded.at(next) == '\n')) {
            if (encoded.at(next) == '\r' && next + 1 < encoded.size() && encoded.at(next + 1) == '\n')
                ++next;
            i = next;
            continue;
        }
        if (next == encoded.size()) {
            i = next;
            continue;
        }
        const int high = i + 2 < encoded.size() ? hexValue(encoded.at(i + 1)) : -1;
        const int low = high >= 0 ? hexValue(encoded.at(i + 2)) : -1;
        if (low < 0) {
            decoded.append(c);
            continue;
        }
        decoded.append(char(high * 16 + low));
        i += 2;
    }
    return decoded;
}

} // namespace TextDecoding
