// vidloom:sanitize
// Packets, the frame pool and the two queue admission rules.
#include <gtest/gtest.h>

#include <cstring>

#include "media/MMPacket.h"
#include "media/PacketQueue.h"
#include "os/OS_Thread.h"
#include "tests/support/FramePool.h"

namespace {

// 16 picture bytes in a block of pool (empty when dry), or without a pool 4096 sound bytes on the heap.
MMPacket Packet(MemPool* pool = nullptr) {
    static const unsigned char bytes[4096] = {1};
    MMPacket p;
    p.allocator = pool;
    p.Fill(bytes, pool ? 16 : 4096, 0);
    p.type = pool ? MMPacket::TYPE_VIDEO : MMPacket::TYPE_AUDIO;
    return p;
}

void Push(PacketQueue& queue, MMPacket p) { queue.Push(&p); }

}  // namespace

TEST(MediaPackets, PoolIsLastInFirstOutPacketsGiveBackOnceQueuesAdmitByTheirRuleOnAnyThread) {
    MemPool empty;
    EXPECT_EQ(nullptr, empty.Alloc(1)) << "no blocks before Init";
    EXPECT_EQ(-1, empty.Reserve(64));
    MemPool pool;
    ASSERT_EQ(0, pool.Init(16, 2));
    void* a = pool.Alloc(16);
    void* b = pool.Alloc(1u << 30);  // the size is not looked at
    ASSERT_TRUE(a && b && a != b);
    EXPECT_EQ(nullptr, pool.Alloc(16));
    memset(a, 0xAB, 16);
    memset(b, 0xCD, 16);  // writing a whole block must not corrupt the other
    pool.Free(b);
    pool.Free(nullptr);
    EXPECT_EQ(b, pool.Alloc(16));
    pool.Free(a);
    // Larger pictures: every block grows, also one that was out meanwhile.
    ASSERT_EQ(0, pool.Reserve(1u << 20));
    EXPECT_EQ(1u << 20, pool.BlockSize());
    void* c = pool.Alloc(1);
    pool.Free(b);
    void* d = pool.Alloc(1);
    ASSERT_TRUE(c && d);
    memset(c, 1, 1u << 20);
    memset(d, 2, 1u << 20);
    EXPECT_EQ(1, *((uint8_t*)c + (1u << 20) - 1)) << "blocks do not overlap";
    pool.Free(c);
    pool.Free(d);
    EXPECT_EQ(2, FreePoolBlocks(pool));
    // A packet gives owned data back once and leaves borrowed data alone.
    MMPacket heap;
    const char text[] = "hello";
    heap.Fill(text, sizeof text, 7);
    EXPECT_NE((const void*)text, (void*)heap.data) << "a copy";
    EXPECT_STREQ("hello", (const char*)heap.data);
    heap.Release();
    EXPECT_TRUE(heap.IsEmpty());
    heap.Release();  // twice is harmless

    char borrowed[4] = {1, 2, 3, 4};
    MMPacket notOwned;
    notOwned.Attach(borrowed, 4, 0, false);
    notOwned.Release();
    EXPECT_EQ((uint8_t*)borrowed, notOwned.data) << "data it does not own stays";

    MemPool single;
    single.Init(16, 1);
    MMPacket fromPool = Packet(&single);
    ASSERT_FALSE(fromPool.IsEmpty());
    EXPECT_TRUE(Packet(&single).IsEmpty()) << "pool exhausted: the packet stays empty";
    fromPool.Release();
    EXPECT_EQ(1, FreePoolBlocks(single));
    // The packer's queue keeps two pictures and every sound; the presenter's at most 31.
    MemPool eight;
    eight.Init(16, 8);
    PacketQueue queue;
    ASSERT_EQ(0, queue.Init(PacketQueue::ADMIT_PACKER));
    MMPacket first = Packet(&eight);
    Push(queue, first);
    for (int i = 0; i < 5; ++i)
        Push(queue, Packet());
    Push(queue, Packet(&eight));
    Push(queue, Packet(&eight));
    EXPECT_EQ(7, queue.Count()) << "a third waiting picture is refused";
    EXPECT_EQ(6, FreePoolBlocks(eight)) << "and its block went back at once";
    Push(queue, Packet());
    EXPECT_EQ(8, queue.Count()) << "sound is never refused";
    // Arrival order; after one picture leaves, the next is admitted.
    MMPacket front = queue.Pop();
    EXPECT_EQ(first.data, front.data);
    front.Release();
    Push(queue, Packet(&eight));
    EXPECT_EQ(8, queue.Count());
    queue.Drain();
    EXPECT_TRUE(queue.Pop().IsEmpty());
    EXPECT_EQ(8, FreePoolBlocks(eight)) << "drain releases every packet";
    // A burst of sound beyond the ring's first size, pushed after it wrapped, leaves in order.
    for (int i = 0; i < 3 * PacketQueue::INITIAL_CAPACITY; ++i) {
        MMPacket p = Packet();
        p.timestamp = i;
        Push(queue, p);
        if (i < 10)
            queue.Pop().Release();
    }
    for (int i = 10; i < 3 * PacketQueue::INITIAL_CAPACITY; ++i) {
        MMPacket p = queue.Pop();
        ASSERT_EQ(i, p.timestamp);
        p.Release();
    }
    // The presenter's queue refuses the 32nd packet of any kind.
    PacketQueue presenter;
    ASSERT_EQ(0, presenter.Init(PacketQueue::ADMIT_PRESENTER));
    for (int i = 0; i < 40; ++i)
        Push(presenter, Packet());
    EXPECT_EQ(PacketQueue::MAX_PRESENTER_PACKETS, presenter.Count());
    presenter.Pop().Release();
    Push(presenter, Packet());
    Push(presenter, Packet());
    EXPECT_EQ(PacketQueue::MAX_PRESENTER_PACKETS, presenter.Count()) << "room for one again";
    // (The queues' destructors drain what is left: LeakSanitizer checks.)
    // Producers and a consumer on many threads.
    struct Producer : OS_Thread {
        PacketQueue* queue = nullptr;
        MemPool* pool = nullptr;  // null: sound
        int Run() override {
            for (int i = 0; i < 2000; ++i) {
                MMPacket p = Packet(pool);
                if (!p.IsEmpty())
                    Push(*queue, p);
            }
            return 0;
        }
    } producers[3];
    for (int i = 0; i < 3; ++i) {
        producers[i].queue = &queue;
        producers[i].pool = i < 2 ? &eight : nullptr;
        producers[i].Start();
    }
    int sounds = 0;  // pop while they push, until every sound is out
    for (int spins = 0; sounds < 2000 && spins < 20000000; ++spins) {
        MMPacket p = queue.Pop();
        sounds += p.type == MMPacket::TYPE_AUDIO;
        p.Release();
    }
    for (Producer& p : producers)
        p.Join();
    queue.Drain();
    EXPECT_EQ(8, FreePoolBlocks(eight));
    EXPECT_EQ(2000, sounds) << "sound pushed while the consumer was busy was never lost";
}
