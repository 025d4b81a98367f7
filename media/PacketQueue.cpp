#include "media/PacketQueue.h"

#include "os/OS_MutexLocker.h"

PacketQueue::PacketQueue() : m_head(0), m_count(0), m_pictures(0), m_refused(0), m_rule(ADMIT_PACKER) {}

PacketQueue::~PacketQueue() { Drain(); }

int PacketQueue::Init(AdmitRule rule) {
    if (m_lock.Init() != 0)
        return -1;
    OS_MutexLocker guard(m_lock);
    m_rule = rule;
    if (m_ring.size() < (size_t)INITIAL_CAPACITY)
        m_ring.resize(INITIAL_CAPACITY);
    return 0;
}

// Called with m_lock held.
bool PacketQueue::Admits(const MMPacket& packet) const {
    if (m_rule == ADMIT_PRESENTER)
        return (int)m_count < MAX_PRESENTER_PACKETS;
    return packet.type != MMPacket::TYPE_VIDEO || m_pictures < MAX_PACKER_PICTURES;
}

// Called with m_lock held.
void PacketQueue::Append(const MMPacket& packet) {
    if (m_count == m_ring.size()) {
        // Full: unroll into a ring twice the size, oldest first.
        std::vector<MMPacket> larger(m_ring.empty() ? INITIAL_CAPACITY : m_ring.size() * 2);
        for (size_t i = 0; i < m_count; ++i)
            larger[i] = m_ring[(m_head + i) % m_ring.size()];
        m_ring.swap(larger);
        m_head = 0;
    }
    m_ring[(m_head + m_count) % m_ring.size()] = packet;
    ++m_count;
    if (packet.type == MMPacket::TYPE_VIDEO)
        ++m_pictures;
}

// Called with m_lock held.
bool PacketQueue::TakeFront(MMPacket* packet) {
    if (m_count == 0)
        return false;
    MMPacket& front = m_ring[m_head];
    *packet = front;
    front = MMPacket();
    m_head = (m_head + 1) % m_ring.size();
    --m_count;
    if (packet->type == MMPacket::TYPE_VIDEO)
        --m_pictures;
    return true;
}

int PacketQueue::Push(MMPacket* packet) {
    bool admitted;
    {
        OS_MutexLocker guard(m_lock);
        admitted = Admits(*packet);
        if (admitted)
            Append(*packet);
        else
            ++m_refused;
    }
    // Released outside the lock: Release may call into the pool.
    if (!admitted)
        packet->Release();
    return 0;
}

MMPacket PacketQueue::Pop() {
    MMPacket front;
    OS_MutexLocker guard(m_lock);
    TakeFront(&front);
    return front;
}

int PacketQueue::Drain() {
    int drained = 0;
    for (;;) {
        MMPacket packet;
        {
            OS_MutexLocker guard(m_lock);
            if (!TakeFront(&packet))
                break;
        }
        // Outside the lock, as in Push.
        packet.Release();
        ++drained;
    }
    return drained;
}

int PacketQueue::Count() {
    OS_MutexLocker guard(m_lock);
    return (int)m_count;
}

int64_t PacketQueue::Refused() {
    OS_MutexLocker guard(m_lock);
    return m_refused;
}
