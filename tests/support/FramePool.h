#pragma once

class MemPool;

// The process-wide frame pool, initialised on first use as main does it
// (8 blocks of one 1920 x 1080 picture each).
MemPool& InitFramePool();
// How many blocks pool can give right now (it takes them all and gives them
// back).
int FreePoolBlocks(MemPool& pool);
