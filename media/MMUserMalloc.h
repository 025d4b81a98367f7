#pragma once

// Where a packet's data came from and how it goes back. The base gives heap
// arrays (new[] / delete[]).
class MMUserMalloc {
public:
    virtual void* Alloc(unsigned size);
    virtual void Free(void* p);

protected:
    // Not deleted through this interface.
    ~MMUserMalloc() = default;
};
