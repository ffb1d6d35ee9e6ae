// Feeds arbitrary bytes through every token helper, from arbitrary start indices.

#include <imapparser.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const int starts[] = {0, 1, int(size / 2), int(size), int(size) + 3, -1};
    for (const int start : starts) {
        QByteArray string;
        QString text;
        qint64 number = 0;
        bool ok = false;
        QList<QByteArray> list;
        ImapParser::parseString(bytes, string, start);
        ImapParser::parseString(bytes, text, start);
        ImapParser::parseNumber(bytes, number, &ok, start);
        int position = start;
        // Walks the whole input as a sequence of lists, as a response reader would.
        for (int guard = 0; guard < 64 && position >= 0 && position < bytes.size(); ++guard) {
            const int next = ImapParser::parseParenthesizedList(bytes, list, position);
            position = next > position ? next : position + 1;
        }
    }
    QByteArray key;
    int version = 0;
    ImapParser::splitVersionedKey(bytes, key, version);

    QByteArray back;
    const QByteArray quoted = ImapParser::quote(bytes);
    ImapParser::parseString(quoted, back);
    if (back != bytes)
        __builtin_trap(); // quoting must round-trip any bytes
    return 0;
}
