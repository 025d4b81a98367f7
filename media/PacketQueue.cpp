#include "media/PacketQueue.h"

#include "os/OS_MutexLocker.h"

PacketQueue::PacketQueue() : m_refused(0), m_rule(ADMIT_PACKER) {}

PacketQueue::~PacketQueue() { Drain(); }

int PacketQueue::Init(AdmitRule rule) {
    m_rule = rule;
    return m_lock.Init();
}

// Called with m_lock held.
bool PacketQueue::Admits(const MMPacket& packet) const {
    if (m_rule == ADMIT_PRESENTER)
        return (int)m_list.size() < MAX_PRESENTER_PACKETS;
    if (packet.type != MMPacket::TYPE_VIDEO)
        return true;
    int pictures = 0;
    for (const MMPacket& queued : m_list)
        if (queued.type == MMPacket::TYPE_VIDEO)
            ++pictures;
    return pictures < MAX_PACKER_PICTURES;
}

int PacketQueue::Push(MMPacket* packet) {
    bool admitted;
    {
        OS_MutexLocker guard(m_lock);
        admitted = Admits(*packet);
        if (admitted)
            m_list.push_back(*packet);
        else
            ++m_refused;
    }
    // Released outside the lock: Release may call into the pool.
    if (!admitted)
        packet->Release();
    return 0;
}

MMPacket PacketQueue::Pop() {
    OS_MutexLocker guard(m_lock);
    if (m_list.empty())
        return MMPacket();
    MMPacket front = m_list.front();
    m_list.pop_front();
    return front;
}

int PacketQueue::Drain() {
    std::list<MMPacket> drained;
    {
        OS_MutexLocker guard(m_lock);
        drained.swap(m_list);
    }
    for (MMPacket& packet : drained)
        packet.Release();
    return (int)drained.size();
}

int PacketQueue::Count() {
    OS_MutexLocker guard(m_lock);
    return (int)m_list.size();
}

int64_t PacketQueue::Refused() {
    OS_MutexLocker guard(m_lock);
    return m_refused;
}
