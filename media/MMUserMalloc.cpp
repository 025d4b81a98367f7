#include "media/MMUserMalloc.h"

void* MMUserMalloc::Alloc(unsigned size) { return new unsigned char[size]; }

void MMUserMalloc::Free(void* p) { delete[] static_cast<unsigned char*>(p); }
