#pragma once

#include <cstdint>

class MMUserMalloc;

// One picture or sound block travelling between threads. Copied by value:
// whoever holds the queued copy releases the data; the producer abandons its
// own copy once it has pushed it.
struct MMPacket {
    enum Type { TYPE_UNSET = -1, TYPE_VIDEO = 0, TYPE_AUDIO = 1 };

    uint8_t* data;           // payload, or null: the packet is empty
    int32_t size;            // payload length in bytes
    bool owns;               // Release gives data back
    int32_t type;            // TYPE_UNSET, TYPE_VIDEO or TYPE_AUDIO
    int64_t timestamp;       // video: frame number; audio and preview: 0
    MMUserMalloc* allocator; // where data came from; null: the heap

    MMPacket();

    // Copies size bytes of src into memory from the allocator (or the heap).
    // When the allocator has no block the packet stays empty.
    void Fill(const void* src, int size, int64_t timestamp);
    // Takes buffer without copying. Set allocator first for a pool block.
    void Attach(void* buffer, int size, int64_t timestamp, bool owns);
    // Gives owned data back; harmless twice.
    void Release();
    bool IsEmpty() const { return data == nullptr; }
};
