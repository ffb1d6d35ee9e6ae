// The stream parser, read from a real local socket. Every case runs twice: with the input written
// at once and with it trickled one byte at a time, since real clients send commands in pieces.
// A case is a small program of parser operations; its transcript and the continuation lines the
// parser wrote back must match exactly.

#include "common/exception.h"
#include "protocol/imapstreamparser.h"
#include "socketfeeder.h"

#include <QLocalSocket>
#include <QTest>

namespace {

QByteArray escaped(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (u < 0x20 || u >= 0x7f)
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

QByteArray boolean(bool value)
{
    return value ? "true" : "false";
}

QByteArray run(ImapStreamParser &parser, const QByteArray &op)
{
    if (op == "str")
        return '<' + escaped(parser.readString()) + '>';
    if (op == "utf8")
        return '<' + escaped(parser.readUtf8String().toUtf8()) + '>';
    if (op == "peek")
        return "peek<" + escaped(parser.peekString()) + '>';
    if (op == "num")
        return QByteArray::number(parser.readNumber());
    if (op == "num?") {
        bool ok = true;
        const qint64 value = parser.readNumber(&ok);
        return QByteArray::number(value) + '/' + boolean(ok);
    }
    if (op == "set") {
        QByteArray out;
        const ImapSet set = parser.readSequenceSet();
        for (const ImapInterval &interval : set.intervals())
            out += '(' + QByteArray::number(interval.begin()) + ',' + QByteArray::number(interval.end()) + ')';
        return "set" + out;
    }
    if (op == "list") {
        QList<QByteArray> escapedElements;
        for (const QByteArray &element : parser.readParenthesizedList())
            escapedElements.append(escaped(element));
        return '[' + escapedElements.join('|') + ']';
    }
    if (op == "date") {
        const QDateTime dateTime = parser.readDateTime();
        return dateTime.isValid() ? dateTime.toUTC().toString(Qt::ISODate).toLatin1() : QByteArray("invalid");
    }
    if (op == "chunks") {
        if (!parser.hasLiteral())
            return "noliteral";
        // How the content is cut depends on how it arrives; no chunk may be empty or over 4096.
        qint64 total = 0;
        while (!parser.atLiteralEnd()) {
            const qsizetype size = parser.readLiteralPart().size();
            if (size == 0 || size > 4096)
                return "bad chunk of " + QByteArray::number(size);
            total += size;
        }
        return "literal(" + QByteArray::number(total) + ')';
    }
    if (op == "hasString")
        return "hasString=" + boolean(parser.hasString());
    if (op == "hasLiteral")
        return "hasLiteral=" + boolean(parser.hasLiteral());
    if (op == "hasList")
        return "hasList=" + boolean(parser.hasList());
    if (op == "hasSet")
        return "hasSet=" + boolean(parser.hasSequenceSet());
    if (op == "hasDate")
        return "hasDate=" + boolean(parser.hasDateTime());
    if (op == "atListEnd")
        return "atListEnd=" + boolean(parser.atListEnd());
    if (op == "atEnd")
        return "atEnd=" + boolean(parser.atCommandEnd());
    if (op == "atLitEnd")
        return "atLitEnd=" + boolean(parser.atLiteralEnd());
    if (op == "begin") {
        parser.beginList();
        return "begin";
    }
    if (op == "char")
        return "char<" + escaped(parser.readChar()) + '>';
    if (op == "skip") {
        parser.skipCurrentCommand();
        return "skip";
    }
    if (op == "rest")
        return "rest<" + escaped(parser.readUntilCommandEnd()) + '>';
    if (op == "remain")
        return "remain<" + escaped(parser.readRemainingData()) + '>';
    return "unknown op " + op;
}

QByteArray transcript(ImapStreamParser &parser, const QByteArray &program)
{
    QList<QByteArray> out;
    for (const QByteArray &op : program.split(' ')) {
        try {
            out.append(run(parser, op));
        } catch (const ImapParserException &e) {
            out.append(QByteArray("!") + e.what());
            break;
        }
    }
    return out.join(" ; ");
}

// "3,0" for two continuation lines announcing 3 and 0 bytes.
QByteArray continuationSizes(const QByteArray &written)
{
    QList<QByteArray> sizes;
    for (const QByteArray &line : written.split('\n')) {
        if (line.isEmpty())
            continue;
        const QByteArray prefix = "+ Ready for literal data (expecting ";
        if (!line.startsWith(prefix) || !line.endsWith(" bytes)\r"))
            return "unexpected output: " + escaped(written);
        sizes.append(line.mid(prefix.size(), line.size() - prefix.size() - 8));
    }
    return sizes.join(',');
}

} // namespace

class ImapStreamParserTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void largeLiteralStreamsInChunks();
    void limits_data();
    void limits();
};

void ImapStreamParserTest::parse_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("continuations");

    const QList<std::tuple<const char *, QByteArray, QByteArray, QByteArray, QByteArray>> cases = {
        // strings
        {"atom, quoted, literal", "a1 \"q u\" {3}\r\nabc x\r\n", "str str str str atEnd", "<a1> ; <q u> ; <abc> ; <x> ; atEnd=true", "3"},
        {"empty literal", "{0}\r\n x\r\n", "hasLiteral atLitEnd str", "hasLiteral=true ; atLitEnd=true ; <x>", "0"},
        {"empty literal as string", "{0}\r\n\r\n", "str atEnd", "<> ; atEnd=true", "0"},
        {"NIL is empty, quoted NIL is not", "NIL \"NIL\" nil\r\n", "str str str", "<> ; <NIL> ; <nil>", ""},
        {"escapes", "\"a\\\"b\\\\c\\r\\n\"\r\n", "str", "<a\"b\\\\c\\r\\n>", ""},
        {"unknown escape", "\"a\\tb\"\r\n", "str", "!Unexpected '\\' in quoted string", ""},
        {"CR and LF inside quotes", "\"a\r\nb\" x\r\n", "str str", "<a\\r\\nb> ; <x>", ""},
        {"atom ends at parenthesis", "FLAGS(\\Seen)\r\n", "str rest", "<FLAGS> ; rest<(\\\\Seen)\\r>", ""},
        {"brackets belong to atoms", "PLD:RFC822[2] x\r\n", "str", "<PLD:RFC822[2]>", ""},
        {"backslash pairs in atoms collapse", "a\\\\\\\\b\r\n", "str", "<a\\\\b>", ""},
        {"UTF-8 string", "\"gr\xc3\xbc\xc3\x9f\"\r\n", "utf8", "<gr\\xc3\\xbc\\xc3\\x9f>", ""},
        {"peek then read", "atom rest\r\n", "peek str str", "peek<atom> ; <atom> ; <rest>", ""},
        {"peek at a literal answers twice", "{2}\r\nab\r\n", "peek str", "peek<ab> ; <ab>", "2,2"},
        {"string at end of stream", "abc", "str", "!Unable to read more data", ""},
        {"unterminated quote", "\"abc", "str", "!Unable to read more data", ""},
        // literal headers
        {"negative literal size", "{-5}\r\nabcde\r\n", "str", "!Invalid literal size: -5", ""},
        {"literal size that is not a number", "{5+}\r\nx\r\n", "hasLiteral", "!Invalid literal size: 5+", ""},
        {"literal size without digits", "{}\r\nx\r\n", "str", "!Invalid literal size: ", ""},
        {"literal size beyond 64 bits", "{9223372036854775808}\r\n", "hasLiteral",
         "!Invalid literal size: 9223372036854775808", ""},
        {"literal in chunks", "{5000}\r\n" + QByteArray(5000, 'x') + "\r\n", "chunks atEnd", "literal(5000) ; atEnd=true", "5000"},
        {"no literal", "abc\r\n", "hasLiteral str", "hasLiteral=false ; <abc>", ""},
        // numbers
        {"number", "  12345 x\r\n", "num str", "12345 ; <x>", ""},
        {"minus sign throws", "-5\r\n", "num", "!Unable to parse number", ""},
        {"minus sign with ok flag", "-5\r\n", "num? char", "0/false ; char<->", ""},
        {"number at end of stream", "123", "num", "!Unable to read more data", ""},
        // sequence sets
        {"sequence set", "1:5,7,10:* rest\r\n", "hasSet set str", "hasSet=true ; set(1,5)(7,7)(10,0) ; <rest>", ""},
        {"star alone", "* x\r\n", "set", "set(0,0)", ""},
        {"no sequence set", "(x)\r\n", "hasSet", "hasSet=false", ""},
        {"interval without bounds left out", ",5 x\r\n", "set", "set(5,5)", ""},
        // lists
        {"list with sub-list and literal", "(atom (a b) {3}\r\nxyz last)\r\n", "list atEnd",
         "[atom|(a b)|xyz|last] ; atEnd=true", "3"},
        {"empty list", "() x\r\n", "list str", "[] ; <x>", ""},
        {"no list", "x\r\n", "list str", "[] ; <x>", ""},
        {"brackets join elements", "(BODY [HEADER FIELDS])\r\n", "list", "[BODY[HEADERFIELDS]]", ""},
        {"bracket before any element", "([x])\r\n", "list", "!Unexpected '[' at the beginning of a list", ""},
        {"begin and end list", " (a b) x\r\n", "hasList begin str atListEnd str atListEnd str",
         "hasList=true ; begin ; <a> ; atListEnd=false ; <b> ; atListEnd=true ; <x>", ""},
        {"not a list", "x\r\n", "begin", "!Stream not at a beginning of a list", ""},
        {"unterminated list", "(a b", "list", "!Unable to read more data", ""},
        {"list ended by its line", " (a\r\n", "begin atListEnd str atListEnd",
         "begin ; atListEnd=false ; <a> ; !Unterminated list", ""},
        {"list element that is not read", " ((a))\r\n", "begin atListEnd str atListEnd",
         "begin ; atListEnd=false ; <> ; !Unexpected token in list", ""},
        {"list elements across a compacted buffer", " ({3}\r\nabc {1}\r\nd)\r\n", "begin atListEnd str atListEnd str atListEnd",
         "begin ; atListEnd=false ; <abc> ; atListEnd=false ; <d> ; atListEnd=true", "3,1"},
        // date-time
        {"quoted date-time", "\"17-Jul-1996 02:44:25 -0700\" x\r\n", "hasDate date str",
         "hasDate=true ; 1996-07-17T09:44:25Z ; <x>", ""},
        {"date-time with positive zone and single-digit day", "\" 7-Feb-2020 10:00:00 +0130\"\r\n", "date",
         "2020-02-07T08:30:00Z", ""},
        {"unknown month", "\"17-Jux-1996 02:44:25 -0700\"\r\n", "date str", "invalid ; <17-Jux-1996 02:44:25 -0700>", ""},
        {"month across two names", "\"17-anf-1996 02:44:25 -0700\"\r\n", "hasDate", "hasDate=false", ""},
        {"impossible date", "\"31-Feb-1996 02:44:25 -0700\"\r\n", "date", "invalid", ""},
        // command ends
        {"command end after spaces", "  \r\nnext\r\n", "atEnd str", "atEnd=true ; <next>", ""},
        {"not at command end", "  x\r\n", "atEnd str", "atEnd=false ; <x>", ""},
        {"skip current command", "a b c\r\nnext\r\n", "skip rest str", "skip ; rest<\\n> ; <next>", ""},
        {"rest of command: CR ends it inside quotes", "a \"b\r\" x\r\n", "rest rest", "rest<a \"b\\r> ; rest<\" x\\r>", ""},
        {"rest of command keeps a literal", "a {2}\r\nxy z\r\nnext\r\n", "rest rest str",
         "rest<a {2}\\r\\nxy z\\r> ; rest<\\n> ; <next>", "2"},
        {"read char", "ab", "char char char", "char<a> ; char<b> ; !Unable to read more data", ""},
    };
    for (const auto &[name, input, program, expected, continuations] : cases)
        for (const char *mode : {"whole", "trickle"})
            QTest::newRow(QByteArray(name) + " (" + mode + ')') << input << program << expected << continuations;
}

void ImapStreamParserTest::parse()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, program);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, continuations);

    const bool trickle = QByteArray(QTest::currentDataTag()).endsWith("(trickle)");
    SocketFeeder feeder(input, trickle ? SocketFeeder::Trickle : SocketFeeder::Whole);
    QLocalSocket *socket = feeder.accept();
    QVERIFY(socket);

    ImapStreamParser parser(socket);
    QByteArray written;
    parser.setContinuationWriter([&written](const QByteArray &line) { written += line + "\r\n"; });
    // The feeder keeps its end open, so running out of input shows as a wait that times out.
    parser.setWaitTimeout(400);
    const QByteArray result = transcript(parser, program);
    QCOMPARE(result, expected);
    QCOMPARE(continuationSizes(written), continuations);
    // Nothing reaches the socket but through the writer.
    QCOMPARE(feeder.finish(), QByteArray());
}

// A big literal goes through in 4096-byte chunks and the parser's buffer never holds more than
// what the socket delivered since the last chunk.
void ImapStreamParserTest::largeLiteralStreamsInChunks()
{
    const qint64 size = 8 * 1024 * 1024 + 17;
    QByteArray input = "{" + QByteArray::number(size) + "}\r\n";
    QByteArray payload(int(size), '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 7 + i / 4096);
    input += payload + "\r\n";

    SocketFeeder feeder(input, SocketFeeder::Whole);
    QLocalSocket *socket = feeder.accept();
    QVERIFY(socket);
    socket->setReadBufferSize(64 * 1024);
    ImapStreamParser parser(socket);
    QVERIFY(parser.hasLiteral());
    QCOMPARE(parser.remainingLiteralSize(), size);

    qint64 offset = 0;
    int largestBuffered = 0;
    while (!parser.atLiteralEnd()) {
        const QByteArray part = parser.readLiteralPart();
        QVERIFY(part.size() <= 4096);
        QVERIFY(part.size() > 0);
        QCOMPARE(part, payload.mid(int(offset), part.size()));
        offset += part.size();
        largestBuffered = qMax(largestBuffered, int(parser.readRemainingData().size()));
    }
    QCOMPARE(offset, size);
    QVERIFY2(largestBuffered <= 256 * 1024, QByteArray::number(largestBuffered));
    QVERIFY(parser.atCommandEnd());
    feeder.finish();
}

void ImapStreamParserTest::limits_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("after"); // run once the failure was skipped
    QTest::addColumn<QByteArray>("afterExpected");
    QTest::addColumn<bool>("broken");

    // Limits of 100-byte literals, 1000 bytes of command text, 3 list elements, 4 levels.
    const QList<std::tuple<const char *, QByteArray, QByteArray, QByteArray, QByteArray, QByteArray, bool>> cases = {
        {"literal at the limit", "{100}\r\n" + QByteArray(100, 'x') + " next\r\n", "chunks str", "literal(100) ; <next>",
         "", "", false},
        {"literal above the limit is not asked for", "{101}\r\nnext\r\n", "hasLiteral",
         "!Literal of 101 bytes is larger than the limit of 100 bytes", "skip rest str", "skip ; rest<\\n> ; <next>", false},
        {"a literal read whole counts as text", "a {101}\r\nnext\r\n", "str str",
         "<a> ; !Literal of 101 bytes is larger than the limit of 100 bytes", "skip rest str", "skip ; rest<\\n> ; <next>", false},
        {"command text without a line end", QByteArray(1500, 'a'), "str",
         "!Command text is longer than the limit of 1000 bytes", "skip str", "skip ; !Unable to read more data", true},
        {"rest of a command too long", QByteArray(1100, 'a') + "\r\nnext\r\n", "rest",
         "!Command text is longer than the limit of 1000 bytes", "skip", "skip", true},
        {"list elements at the limit", "(a b c) next\r\n", "list str", "[a|b|c] ; <next>", "", "", false},
        {"list with too many elements", "(a b c d)\r\nnext\r\n", "list",
         "!List with more than 3 elements", "skip rest str", "skip ; rest<\\n> ; <next>", false},
        {"list nested at the limit", "((((a)))) next\r\n", "list str", "[(((a)))] ; <next>", "", "", false},
        {"list nested too deep", "(((((a)))))\r\nnext\r\n", "list", "!List nested deeper than the limit of 4 levels",
         "skip rest str", "skip ; rest<\\n> ; <next>", false},
        {"pipelined commands are no long line", QByteArray("x\r\n").repeated(600) + "end\r\n",
         QByteArray("str atEnd ").repeated(600) + "str", QByteArray("<x> ; atEnd=true ; ").repeated(600) + "<end>", "", "",
         false},
    };
    for (const auto &[name, input, program, expected, after, afterExpected, broken] : cases)
        for (const char *mode : {"whole", "trickle"})
            QTest::newRow(QByteArray(name) + " (" + mode + ')')
                << input << program << expected << after << afterExpected << broken;
}

void ImapStreamParserTest::limits()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, program);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, afterExpected);
    QFETCH(bool, broken);

    const bool trickle = QByteArray(QTest::currentDataTag()).endsWith("(trickle)");
    SocketFeeder feeder(input, trickle ? SocketFeeder::Trickle : SocketFeeder::Whole);
    QLocalSocket *socket = feeder.accept();
    QVERIFY(socket);
    ImapStreamParser parser(socket);
    ImapStreamParser::Limits limits;
    limits.maxLiteralSize = 100;
    limits.maxCommandText = 1000;
    limits.maxListElements = 3;
    limits.maxListDepth = 4;
    parser.setLimits(limits);
    QByteArray written;
    parser.setContinuationWriter([&written](const QByteArray &line) { written += line + "\r\n"; });
    parser.setWaitTimeout(400);

    QCOMPARE(transcript(parser, program), expected);
    QCOMPARE(parser.isBroken(), broken);
    if (!after.isEmpty())
        QCOMPARE(transcript(parser, after), afterExpected);
    // A literal refused is never asked for.
    QVERIFY2(!written.contains("101"), written.constData());
    feeder.finish();
}

QTEST_GUILESS_MAIN(ImapStreamParserTest)
#include "tst_imapstreamparser.moc"
