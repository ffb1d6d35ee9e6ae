#ifndef TALVORI_IMAPINTERVAL_H
#define TALVORI_IMAPINTERVAL_H

#include <QList>
#include <QtGlobal>

// A closed range of ids in a sequence set. A bound of 0 stands for "*", the open end.
class ImapInterval
{
public:
    using List = QList<ImapInterval>;

    ImapInterval() = default;
    ImapInterval(qint64 begin, qint64 end);

    qint64 begin() const { return m_begin; }
    qint64 end() const { return m_end; }
    void setBegin(qint64 value) { m_begin = value; }
    void setEnd(qint64 value) { m_end = value; }

    bool hasDefinedBegin() const { return m_begin != 0; }
    bool hasDefinedEnd() const { return m_end != 0; }
    // end - begin + 1 when both bounds are defined, 0 when neither is. With one open bound the size
    // is unknown; it is reported as 0 as well.
    qint64 size() const;

    bool operator==(const ImapInterval &other) const = default;

private:
    qint64 m_begin = 0;
    qint64 m_end = 0;
};

#endif
