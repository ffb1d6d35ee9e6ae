#include "imapinterval.h"

ImapInterval::ImapInterval(qint64 begin, qint64 end)
    : m_begin(begin)
    , m_end(end)
{
}

qint64 ImapInterval::size() const
{
    if (hasDefinedBegin() && hasDefinedEnd())
        return m_end - m_begin + 1;
    return 0;
}
