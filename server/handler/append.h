#ifndef TALVORI_APPEND_H
#define TALVORI_APPEND_H

#include "appendhandler.h"

#include <QTemporaryFile>

#include <memory>

// APPEND: stores a new item whose payload is one "PLD:RFC822" part. A payload that will live in a
// file of its own is streamed into a temporary file beside the payload files and moved into place,
// so it is never held in memory whole.
class Append : public AppendHandler
{
    Q_OBJECT
protected:
    void readPayload() override;
    QDateTime itemDateTime(const QDateTime &sent) const override;
    QList<Talvori::Part> parts() override;
    bool finishParts(QList<Talvori::Part> &parts) override;
    QByteArray appendedText(const Talvori::PimItem &item) const override;

private:
    QByteArray m_payload;
    qint64 m_literalSize = 0;
    std::unique_ptr<QTemporaryFile> m_payloadFile;
};

#endif
