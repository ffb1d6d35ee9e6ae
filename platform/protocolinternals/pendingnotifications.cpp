#include "pendingnotifications.h"

#include <QHashFunctions>

namespace {

// Of fields NotificationMessage::isSameChange() compares, those that tell changes apart in
// practice and cost next to nothing to hash; isSameChange() still decides.
size_t changeHash(const NotificationMessage &msg)
{
    return qHashMulti(0, msg.type(), msg.operation(), msg.uid(), msg.parentCollection(), msg.parentDestCollection());
}

} // namespace

void PendingNotifications::append(const NotificationMessage &msg)
{
    if (msg.operation() != NotificationMessage::Modify) {
        m_list.append(msg);
        return;
    }
    const size_t hash = changeHash(msg);
    for (auto it = m_modifications.constFind(hash); it != m_modifications.cend() && it.key() == hash; ++it) {
        NotificationMessage &pending = m_list[it.value()];
        if (pending.isSameChange(msg)) {
            // The same parts again, the usual case, leave the pending set as it is.
            const QSet<QByteArray> parts = pending.itemParts();
            if (!parts.contains(msg.itemParts()))
                pending.setItemParts(parts + msg.itemParts());
            return;
        }
    }
    m_modifications.insert(hash, m_list.size());
    m_list.append(msg);
}

void PendingNotifications::clear()
{
    m_list.clear();
    m_modifications.clear();
}

NotificationMessage::List PendingNotifications::take()
{
    NotificationMessage::List taken = std::move(m_list);
    clear();
    return taken;
}
