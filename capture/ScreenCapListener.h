#pragma once

#include "media/MMPacket.h"

// Receives the pictures of a screen or window capture thread.
class ScreenCapListener {
public:
    // Called on the capture thread for every picture, so it must return
    // quickly. packet lives on the caller's stack: the listener takes over
    // its data, passing a copy on to a queue or releasing it, and keeps no
    // pointer to the packet itself. The packet's timestamp is the reading of
    // the capture's frame clock, in microseconds, at which the grab began. Returns 0; the
    // result is not used.
    virtual int OnScreenFrame(MMPacket* packet) = 0;

protected:
    // Not deleted through this interface.
    ~ScreenCapListener() = default;
};

// Hands a fresh picture to listener, or gives it back at once when there is
// none.
inline void DeliverScreenFrame(ScreenCapListener* listener, MMPacket* packet) {
    if (listener)
        listener->OnScreenFrame(packet);
    else
        packet->Release();
}
