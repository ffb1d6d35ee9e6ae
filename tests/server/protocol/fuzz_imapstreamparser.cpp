// The first 16 bytes choose a program of parser operations, the rest is the client's stream.
// Every operation may throw ImapParserException; nothing else may go wrong.

#include "common/exception.h"
#include "memorydevice.h"
#include "protocol/imapstreamparser.h"

#include <cstdint>

static void runOperation(ImapStreamParser &parser, int op)
{
    bool ok = false;
    switch (op % 22) {
    case 0: parser.readString(); break;
    case 1: parser.readUtf8String(); break;
    case 2: parser.peekString(); break;
    case 3: parser.readNumber(); break;
    case 4: parser.readNumber(&ok); break;
    case 5: parser.hasSequenceSet(); break;
    case 6: parser.readSequenceSet(); break;
    case 7: parser.readParenthesizedList(); break;
    case 8: parser.hasDateTime(); break;
    case 9: parser.readDateTime(); break;
    case 10: parser.hasList(); break;
    case 11: parser.beginList(); break;
    case 12: parser.atListEnd(); break;
    case 13: parser.hasString(); break;
    case 14:
        if (parser.hasLiteral()) {
            while (!parser.atLiteralEnd())
                parser.readLiteralPart();
        }
        break;
    case 15: parser.atCommandEnd(); break;
    case 16: parser.skipCurrentCommand(); break;
    case 17: parser.readUntilCommandEnd(); break;
    case 18: parser.readChar(); break;
    case 19: parser.stripLeadingSpaces(); break;
    case 20: parser.readRemainingData(); break;
    default:
        // What the connection does for each command: tag, command word, then the rest.
        parser.readString();
        parser.readString();
        parser.readUntilCommandEnd();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 16)
        return 0;
    const QByteArray stream(reinterpret_cast<const char *>(data) + 16, qsizetype(size - 16));
    MemoryDevice device(stream);
    ImapStreamParser parser(&device);
    for (int round = 0; round < 8; ++round) {
        for (size_t i = 0; i < 16; ++i) {
            try {
                runOperation(parser, data[i]);
            } catch (const ImapParserException &) {
                try {
                    parser.skipCurrentCommand();
                } catch (const ImapParserException &) {
                    return 0; // the stream is used up
                }
            }
        }
    }
    return 0;
}
