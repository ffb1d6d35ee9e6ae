#ifndef TALVORI_TVAPPEND_H
#define TALVORI_TVAPPEND_H

#include "appendhandler.h"

// X-TVAPPEND: stores a new item made of any number of named, optionally versioned parts whose data
// travels back to back in one string. A literal is cut into the parts as it streams in, each into
// a writer of its own, so no part of the item is held in memory whole when it is to live in a file.
class TvAppend : public AppendHandler
{
    Q_OBJECT
protected:
    void readPayload() override;
    QDateTime itemDateTime(const QDateTime &sent) const override;

private:
    struct PartLayout {
        QByteArray name;
        qint64 size = 0;
        int version = 0;
    };
    void readLayouts();
    // Hands the next bytes of the part data to the parts in order; bytes past the last part's
    // size are dropped.
    void distribute(QByteArray bytes);

    QList<PartLayout> m_partLayouts;
    // The writers of m_partLayouts, in the same order, and how far the data has come.
    QList<PayloadWriter *> m_writers;
    int m_current = 0;
    qint64 m_currentFill = 0;
};

#endif
