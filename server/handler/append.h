#ifndef TALVORI_APPEND_H
#define TALVORI_APPEND_H

#include "appendhandler.h"

// APPEND: stores a new item whose payload is one "PLD:RFC822" part. A literal payload streams
// into its part's writer, so one that will live in a file of its own is never held in memory
// whole.
class Append : public AppendHandler
{
    Q_OBJECT
protected:
    void readPayload() override;
    QDateTime itemDateTime(const QDateTime &sent) const override;
    QByteArray appendedText(const Talvori::PimItem &item) const override;
};

#endif
