#include "maildirentry.h"

#include <algorithm>
#include <iterator>

namespace {

struct FlagLetter {
    char letter;
    const char *flag;
};

// The info letters in the order their flags are listed.
const FlagLetter flagLetters[] = {
    {'S', "\\Seen"}, {'R', "\\Answered"}, {'F', "\\Flagged"}, {'T', "\\Deleted"}, {'D', "\\Draft"},
};

} // namespace

MaildirEntry MaildirEntry::fromFileName(const QString &subdirectory, const QString &fileName)
{
    MaildirEntry entry;
    entry.m_relativePath = subdirectory + QLatin1Char('/') + fileName;
    // Some systems write "!" instead of ":", which their file systems do not allow.
    qsizetype info = fileName.lastIndexOf(QLatin1String(":2,"));
    if (info < 0)
        info = fileName.lastIndexOf(QLatin1String("!2,"));
    entry.m_uniqueName = info < 0 ? fileName : fileName.left(info);
    if (info >= 0) {
        const QString letters = fileName.mid(info + 3);
        for (const FlagLetter &letter : flagLetters) {
            if (letters.contains(QLatin1Char(letter.letter)))
                entry.m_flags.append(QByteArray(letter.flag));
        }
    }
    return entry;
}

bool MaildirEntry::isMaildirFlag(const QByteArray &flag)
{
    return std::any_of(std::begin(flagLetters), std::end(flagLetters),
                       [&flag](const FlagLetter &letter) { return flag.compare(letter.flag, Qt::CaseInsensitive) == 0; });
}
