#include "patterndevice.h"

namespace {

constexpr int lineLetters = 76;
constexpr int lineLength = lineLetters + 2;
constexpr int lettersPerWord = 10; // 6 bits each out of one 64-bit word

const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

quint64 splitMix(quint64 x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

} // namespace

PatternDevice::PatternDevice(qint64 size, quint64 seed, QObject *parent)
    : QIODevice(parent)
    , m_size(qMax<qint64>(0, size))
    , m_seed(seed)
{
}

quint64 PatternDevice::seedOf(const QByteArray &text)
{
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash ^= quint8(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

qint64 PatternDevice::readData(char *data, qint64 maxSize)
{
    const qint64 count = qMin(maxSize, m_size - m_position);
    quint64 word = 0;
    qint64 wordIndex = -1;
    for (qint64 i = 0; i < count; ++i) {
        const qint64 position = m_position + i;
        const qint64 line = position / lineLength;
        const int column = int(position % lineLength);
        if (column >= lineLetters) {
            data[i] = column == lineLetters ? '\r' : '\n';
            continue;
        }
        const qint64 index = line * (lineLetters / lettersPerWord + 1) + column / lettersPerWord;
        if (index != wordIndex) {
            word = splitMix(m_seed ^ quint64(index));
            wordIndex = index;
        }
        data[i] = alphabet[(word >> (6 * (column % lettersPerWord))) & 63];
    }
    m_hash.addData(QByteArrayView(data, count));
    m_position += count;
    return count;
}
