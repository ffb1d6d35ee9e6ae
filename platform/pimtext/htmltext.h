#ifndef TALVORI_HTMLTEXT_H
#define TALVORI_HTMLTEXT_H

#include <QString>

// The words of an HTML document as a reader sees them: the text between the tags, with character
// references resolved, without scripts, style sheets and comments. Tags that break a line apart
// (blocks, line breaks, cells) separate words; inline markup such as <b> does not, so that a word
// styled in the middle stays one word.
class HtmlText
{
public:
    static QString toPlainText(const QString &html);
};

#endif
