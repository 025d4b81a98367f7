#include "media/MMPacket.h"

#include <cstring>

#include "media/MMUserMalloc.h"

MMPacket::MMPacket()
    : data(nullptr), size(0), owns(false), type(TYPE_UNSET), timestamp(0), allocator(nullptr) {}

void MMPacket::Fill(const void* src, int size_, int64_t timestamp_) {
    void* p = allocator ? allocator->Alloc((unsigned)size_) : new unsigned char[size_];
    if (!p)
        return;
    memcpy(p, src, (size_t)size_);
    data = static_cast<uint8_t*>(p);
    size = size_;
    owns = true;
    timestamp = timestamp_;
}

void MMPacket::Attach(void* buffer, int size_, int64_t timestamp_, bool owns_) {
    data = static_cast<uint8_t*>(buffer);
    size = size_;
    timestamp = timestamp_;
    owns = owns_;
}

void MMPacket::Release() {
    if (!owns || !data)
        return;
    if (allocator)
        allocator->Free(data);
    else
        delete[] data;
    data = nullptr;
}
