#ifndef TALVORI_MAILTEXT_H
#define TALVORI_MAILTEXT_H

#include "pimtext.h"

#include <QByteArray>

// Reads a mail (RFC 5322 with MIME) with GMime: From, To and Cc (names and addresses), Subject and
// Message-ID as the header says them once decoded (RFC 2047 words, raw 8-bit text), Date, and as
// the body the text of every text/plain and text/html part (attachments included, HTML as its
// text), decoded from its transfer encoding and converted from its charset, and the file names of
// attachments. A message attached
// to the mail gives its headers and text parts to the body. A header alone is a mail without
// body.
class MailText
{
public:
    static PimText read(const QByteArray &message);
};

#endif
