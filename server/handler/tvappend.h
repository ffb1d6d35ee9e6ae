#ifndef TALVORI_TVAPPEND_H
#define TALVORI_TVAPPEND_H

#include "appendhandler.h"

// X-TVAPPEND: stores a new item made of any number of named, optionally versioned parts whose data
// travels back to back in one string.
class TvAppend : public AppendHandler
{
    Q_OBJECT
protected:
    void readPayload() override;
    QDateTime itemDateTime(const QDateTime &sent) const override;
    QList<Talvori::Part> parts() override;

private:
    struct PartLayout {
        QByteArray name;
        qint64 size = 0;
        int version = 0;
    };
    QList<PartLayout> m_partLayouts;
    QByteArray m_partData;
};

#endif
