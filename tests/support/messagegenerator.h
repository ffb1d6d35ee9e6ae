#ifndef TALVORI_MESSAGEGENERATOR_H
#define TALVORI_MESSAGEGENERATOR_H

#include <QByteArray>

// Deterministic mail messages of an exact size: a short RFC 822 header and a body of base64-like
// text lines with CR LF endings, drawn from a generator seeded by the label and the index, so two
// runs (and the verification after a fetch) see the same bytes without storing them anywhere.
class MessageGenerator
{
public:
    explicit MessageGenerator(const QByteArray &label);

    // Exactly size bytes (at least minimumSize()); the same label, index and size always give
    // the same message.
    QByteArray message(int index, qsizetype size) const;

    static qsizetype minimumSize();

private:
    QByteArray header(int index) const;

    QByteArray m_label;
};

#endif
