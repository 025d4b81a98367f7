#pragma once

#include <cstdint>
#include <vector>

#include "media/MMPacket.h"
#include "os/OS_Mutex.h"

// Packets waiting for one consumer, in arrival order. Producers push from
// any thread; the consumer pops. The mutex is held only for the list work.
// The packets sit in a ring that only grows (doubling) when a new high of
// waiting packets is reached, so pushing and popping allocate nothing.
class PacketQueue {
public:
    enum AdmitRule {
        // The packer: sound always; a picture while fewer than
        // MAX_PACKER_PICTURES pictures wait.
        ADMIT_PACKER,
        // The camera preview: any packet while fewer than
        // MAX_PRESENTER_PACKETS wait.
        ADMIT_PRESENTER,
    };

    // Pictures the packer lets wait: more only add latency and memory while
    // the encoder is behind.
    static constexpr int MAX_PACKER_PICTURES = 2;
    // Packets the preview lets wait before it drops.
    static constexpr int MAX_PRESENTER_PACKETS = 31;
    // Places in the ring at Init: the pictures and a few seconds of sound,
    // which the sound server may hand over in one burst.
    static constexpr int INITIAL_CAPACITY = 64;

    PacketQueue();
    ~PacketQueue();

    // Creates the mutex and the ring. 0, or -1.
    int Init(AdmitRule rule);
    // Queues a copy of *packet, or releases it at once when the rule refuses
    // it. Either way the caller must not release its copy. Always 0.
    int Push(MMPacket* packet);
    // The front packet, or an empty one.
    MMPacket Pop();
    // Releases every queued packet; how many there were.
    int Drain();
    int Count();
    // Packets refused by the rule since Init.
    int64_t Refused();

private:
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    bool Admits(const MMPacket& packet) const;
    void Append(const MMPacket& packet);
    bool TakeFront(MMPacket* packet);

    OS_Mutex m_lock;             // guards the fields below
    std::vector<MMPacket> m_ring;
    size_t m_head;               // index of the oldest packet
    size_t m_count;              // packets waiting
    int m_pictures;              // of which video
    int64_t m_refused;
    AdmitRule m_rule;
};
