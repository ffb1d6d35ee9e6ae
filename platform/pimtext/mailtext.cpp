#include "mailtext.h"

#include "htmltext.h"
#include "textdecoding.h"

#include <gmime/gmime.h>

#include <QTimeZone>

namespace {

// A part's text beyond this is not read: a text attachment of hundreds of megabytes would only
// fill the index with the same words.
constexpr gint64 MaxPartText = 8 * 1024 * 1024;

// How deep attached messages and multiparts are followed; a message made to nest without end
// stops here.
constexpr int MaxDepth = 32;

GMimeParserOptions *parserOptions()
{
    static GMimeParserOptions *options = [] {
        TextDecoding::initialize();
        GMimeParserOptions *made = g_mime_parser_options_new();
        // Header text in raw 8-bit bytes is read as UTF-8 when it is, and as Windows-1252
        // otherwise, as mail programs do.
        const char *fallback[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(made, fallback);
        return made;
    }();
    return options;
}

QString fromUtf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// "Name address" of every mailbox, groups with their members.
QString addressText(InternetAddressList *list)
{
    QStringList words;
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        words.append(fromUtf8(internet_address_get_name(address)));
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            words.append(fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))));
        else if (INTERNET_ADDRESS_IS_GROUP(address))
            words.append(addressText(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address))));
    }
    words.removeAll(QString());
    return words.join(QLatin1Char(' '));
}

QDateTime dateOf(GMimeMessage *message)
{
    GDateTime *date = g_mime_message_get_date(message);
    if (!date)
        return QDateTime();
    const int offset = int(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND);
    return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date), QTimeZone(offset));
}

// The part's content without its transfer encoding, at most MaxPartText bytes of it.
QByteArray decodedContent(GMimePart *part)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return QByteArray();
    // Decoded content is never much larger than the message it came from, which is in memory
    // already; it is cut after decoding.
    GMimeStream *memory = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, memory);
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
    QByteArray result(reinterpret_cast<const char *>(bytes->data), qsizetype(qMin<gint64>(bytes->len, MaxPartText)));
    g_object_unref(memory);
    return result;
}

class Reader
{
public:
    PimText text;

    void headers(GMimeMessage *message, bool asBody)
    {
        const auto add = [&](PimText::Field field, const QString &value) {
            text.add(asBody ? PimText::Body : field, value);
        };
        add(PimText::From, addressText(g_mime_message_get_from(message)));
        add(PimText::To, addressText(g_mime_message_get_to(message)));
        add(PimText::Cc, addressText(g_mime_message_get_cc(message)));
        add(PimText::Subject, fromUtf8(g_mime_message_get_subject(message)));
        if (!asBody) {
            text.add(PimText::MessageId, fromUtf8(g_mime_message_get_message_id(message)));
            text.setDate(dateOf(message));
        }
    }

    void walk(GMimeObject *object, int depth)
    {
        if (!object || depth > MaxDepth)
            return;
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart *multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < count; ++i)
                walk(g_mime_multipart_get_part(multipart, i), depth + 1);
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            if (GMimeMessage *attached = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object))) {
                headers(attached, true);
                walk(g_mime_message_get_mime_part(attached), depth + 1);
            }
        } else if (GMIME_IS_PART(object)) {
            // An attachment is found by its name too.
            text.add(PimText::Body, fromUtf8(g_mime_part_get_filename(GMIME_PART(object))));
            GMimeContentType *type = g_mime_object_get_content_type(object);
            if (!type || g_ascii_strcasecmp(g_mime_content_type_get_media_type(type), "text") != 0)
                return;
            const char *subtype = g_mime_content_type_get_media_subtype(type);
            const bool html = g_ascii_strcasecmp(subtype, "html") == 0;
            if (!html && g_ascii_strcasecmp(subtype, "plain") != 0)
                return;
            const QString decoded = TextDecoding::decode(decodedContent(GMIME_PART(object)),
                                                         QByteArray(g_mime_content_type_get_parameter(type, "charset")));
            text.add(PimText::Body, html ? HtmlText::toPlainText(decoded) : decoded);
        }
    }
};

} // namespace

PimText MailText::read(const QByteArray &message)
{
    GMimeParserOptions *options = parserOptions();
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(message.constData(), size_t(message.size()));
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
    GMimeMessage *parsed = g_mime_parser_construct_message(parser, options);
    Reader reader;
    if (parsed) {
        reader.headers(parsed, false);
        reader.walk(g_mime_message_get_mime_part(parsed), 0);
        g_object_unref(parsed);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return reader.text;
}
