#pragma once

#include "media/MMPacket.h"

// Takes packets from a producer thread: a queue in front of a consumer
// thread (the camera preview).
class PacketSink {
public:
    // Takes the packet's data over: queued, or released when refused. The
    // caller never releases its copy afterwards. Must return quickly. 0.
    virtual int Push(MMPacket* packet) = 0;

protected:
    // Not deleted through this interface.
    ~PacketSink() = default;
};
