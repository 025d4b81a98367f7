// vidloom:sanitize
// Packets, the frame pool and the two queue admission rules.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "media/MMPacket.h"
#include "media/MemPool.h"
#include "media/PacketQueue.h"
#include "os/OS_Thread.h"
#include "tests/support/FramePool.h"

namespace {

MMPacket Picture(MemPool& pool) {
    MMPacket p;
    p.allocator = &pool;
    p.Attach(pool.Alloc(16), 16, 0, true);
    p.type = MMPacket::TYPE_VIDEO;
    return p;
}

MMPacket Sound() {
    unsigned char block[4096] = {1};
    MMPacket p;
    p.Fill(block, sizeof block, 0);
    p.type = MMPacket::TYPE_AUDIO;
    return p;
}

}  // namespace

TEST(MemPool, HandsOutBlocksLastInFirstOut) {
    MemPool empty;
    EXPECT_EQ(nullptr, empty.Alloc(1)) << "no blocks before Init";

    MemPool pool;
    ASSERT_EQ(0, pool.Init(16, 2));
    void* a = pool.Alloc(16);
    void* b = pool.Alloc(1u << 30);  // the size is not looked at
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_NE(a, b);
    EXPECT_EQ(nullptr, pool.Alloc(16));
    memset(a, 0xAB, 16);
    memset(b, 0xCD, 16);  // writing a whole block must not corrupt the other
    pool.Free(b);
    pool.Free(nullptr);
    EXPECT_EQ(b, pool.Alloc(16));
    pool.Free(a);
    pool.Free(b);
    EXPECT_EQ(2, FreePoolBlocks(pool));
}

TEST(MMPacket, FillAttachRelease) {
    MMPacket fresh;
    EXPECT_TRUE(fresh.IsEmpty());
    EXPECT_EQ(MMPacket::TYPE_UNSET, fresh.type);
    fresh.Release();  // empty: nothing to do

    const char text[] = "hello";
    MMPacket heap;
    heap.Fill(text, sizeof text, 7);
    ASSERT_FALSE(heap.IsEmpty());
    EXPECT_NE((const void*)text, (void*)heap.data);
    EXPECT_STREQ("hello", (const char*)heap.data);
    EXPECT_EQ(7, heap.timestamp);
    EXPECT_TRUE(heap.owns);
    heap.Release();
    EXPECT_TRUE(heap.IsEmpty());
    heap.Release();  // twice is harmless

    char borrowed[4] = {1, 2, 3, 4};
    MMPacket notOwned;
    notOwned.Attach(borrowed, 4, 0, false);
    notOwned.Release();
    EXPECT_EQ((uint8_t*)borrowed, notOwned.data) << "data it does not own stays";
    EXPECT_EQ(3, borrowed[2]);

    MemPool pool;
    pool.Init(16, 1);
    MMPacket fromPool;
    fromPool.allocator = &pool;
    fromPool.Fill(text, sizeof text, 0);
    ASSERT_FALSE(fromPool.IsEmpty());
    MMPacket noBlock;
    noBlock.allocator = &pool;
    noBlock.Fill(text, sizeof text, 0);
    EXPECT_TRUE(noBlock.IsEmpty()) << "pool exhausted: the packet stays empty";
    fromPool.Release();
    EXPECT_EQ(1, FreePoolBlocks(pool));
}

TEST(PacketQueue, PackerKeepsTwoPicturesAndEverySound) {
    MemPool pool;
    pool.Init(16, 8);
    PacketQueue queue;
    ASSERT_EQ(0, queue.Init(PacketQueue::ADMIT_PACKER));

    MMPacket p1 = Picture(pool), p2 = Picture(pool);
    queue.Push(&p1);
    for (int i = 0; i < 5; ++i) {
        MMPacket s = Sound();
        queue.Push(&s);
    }
    queue.Push(&p2);
    EXPECT_EQ(7, queue.Count());
    EXPECT_EQ(6, FreePoolBlocks(pool));

    MMPacket p3 = Picture(pool);
    EXPECT_EQ(0, queue.Push(&p3));
    EXPECT_EQ(7, queue.Count()) << "a third waiting picture is refused";
    EXPECT_EQ(6, FreePoolBlocks(pool)) << "and its block went back at once";

    MMPacket s = Sound();
    queue.Push(&s);
    EXPECT_EQ(8, queue.Count()) << "sound is never refused";

    // Arrival order; after one picture leaves, the next is admitted.
    MMPacket front = queue.Pop();
    EXPECT_EQ(MMPacket::TYPE_VIDEO, front.type);
    EXPECT_EQ(p1.data, front.data);
    front.Release();
    MMPacket p4 = Picture(pool);
    queue.Push(&p4);
    EXPECT_EQ(8, queue.Count());

    queue.Drain();
    EXPECT_EQ(0, queue.Count());
    EXPECT_TRUE(queue.Pop().IsEmpty());
    EXPECT_EQ(8, FreePoolBlocks(pool)) << "drain releases every packet";
}

TEST(PacketQueue, PresenterRefusesThe32ndPacket) {
    PacketQueue queue;
    ASSERT_EQ(0, queue.Init(PacketQueue::ADMIT_PRESENTER));
    for (int i = 0; i < 40; ++i) {
        MMPacket s = Sound();
        queue.Push(&s);
    }
    EXPECT_EQ(PacketQueue::MAX_PRESENTER_PACKETS, queue.Count());
    MMPacket popped = queue.Pop();
    popped.Release();
    MMPacket again = Sound();
    queue.Push(&again);
    EXPECT_EQ(PacketQueue::MAX_PRESENTER_PACKETS, queue.Count());
    // The queue's destructor drains what is left (LeakSanitizer checks).
}

TEST(PacketQueue, ProducersAndConsumerOnManyThreads) {
    MemPool pool;
    pool.Init(16, 8);
    PacketQueue queue;
    queue.Init(PacketQueue::ADMIT_PACKER);

    struct Producer : OS_Thread {
        PacketQueue* queue = nullptr;
        MemPool* pool = nullptr;
        bool video = false;
        int Run() override {
            for (int i = 0; i < 2000; ++i) {
                if (video) {
                    void* block = pool->Alloc(16);
                    if (!block)
                        continue;
                    MMPacket p;
                    p.allocator = pool;
                    p.Attach(block, 16, i, true);
                    p.type = MMPacket::TYPE_VIDEO;
                    queue->Push(&p);
                } else {
                    MMPacket p = Sound();
                    queue->Push(&p);
                }
            }
            return 0;
        }
    };
    Producer producers[3];
    for (int i = 0; i < 3; ++i) {
        producers[i].queue = &queue;
        producers[i].pool = &pool;
        producers[i].video = i < 2;
        producers[i].Start();
    }
    int sounds = 0;
    for (int spins = 0; spins < 200000 && sounds < 2000; ++spins) {
        MMPacket p = queue.Pop();
        if (p.type == MMPacket::TYPE_AUDIO)
            ++sounds;
        p.Release();
    }
    for (Producer& p : producers)
        p.Join();
    for (MMPacket p = queue.Pop(); !p.IsEmpty(); p = queue.Pop()) {
        if (p.type == MMPacket::TYPE_AUDIO)
            ++sounds;
        p.Release();
    }
    EXPECT_EQ(8, FreePoolBlocks(pool));
    // Sound pushed while the consumer was busy was never lost.
    EXPECT_EQ(2000, sounds);
}
