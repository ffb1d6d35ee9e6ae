#include "pendingnotifications.h"

#include <QHashFunctions>

namespace {

// Covers exactly the fields NotificationMessage::isSameChange() compares.
size_t changeHash(const NotificationMessage &msg)
{
    return qHashMulti(0, msg.sessionId(), msg.type(), msg.operation(), msg.uid(), msg.remoteId(), msg.resource(),
                      msg.parentCollection(), msg.parentDestCollection(), msg.mimeType());
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
            pending.setItemParts(pending.itemParts() + msg.itemParts());
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
