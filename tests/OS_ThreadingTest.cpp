// vidloom:sanitize
// Threads, recursive mutex, semaphore and clock.
#include <gtest/gtest.h>

#include <atomic>

#include "os/OS_Clock.h"
#include "os/OS_Mutex.h"
#include "os/OS_Semaphore.h"
#include "os/OS_Thread.h"

namespace {

class CountingThread : public OS_Thread {
public:
    std::atomic<bool> quit{false};
    std::atomic<int> passes{0};

protected:
    int Run() override {
        while (!quit) {
            ++passes;
            OS_Sleep(1);
        }
        return 0;
    }
};

// Tries the mutex from another thread; result in acquired.
class LockProbe : public OS_Thread {
public:
    explicit LockProbe(OS_Mutex& m) : mutex(m) {}
    OS_Mutex& mutex;
    std::atomic<int> acquired{-2};

protected:
    int Run() override {
        acquired = mutex.TryLock();
        if (acquired == 0)
            mutex.Unlock();
        return 0;
    }
};

}  // namespace

TEST(OS_Thread, JoinWithoutStartOrTwiceReturnsAtOnce) {
    CountingThread never;
    int64_t t0 = OS_NowMs();
    never.Join();
    never.Join();
    EXPECT_LT(OS_NowMs() - t0, 50);

    CountingThread thread;
    ASSERT_EQ(0, thread.Start());
    while (thread.passes == 0)
        OS_Sleep(1);
    thread.quit = true;
    thread.Join();
    int passes = thread.passes;
    thread.Join();
    EXPECT_EQ(passes, thread.passes.load());
}

TEST(OS_Mutex, RecursiveAndExclusive) {
    OS_Mutex uninitialised;
    EXPECT_EQ(-1, uninitialised.Lock());
    EXPECT_EQ(-1, uninitialised.TryLock());
    uninitialised.Unlock();  // harmless

    OS_Mutex mutex;
    ASSERT_EQ(0, mutex.Init());
    ASSERT_EQ(0, mutex.Lock());
    ASSERT_EQ(0, mutex.Lock());

    LockProbe held(mutex);
    held.Start();
    held.Join();
    EXPECT_EQ(-1, held.acquired.load()) << "other threads wait while it is held";

    mutex.Unlock();
    LockProbe stillHeld(mutex);
    stillHeld.Start();
    stillHeld.Join();
    EXPECT_EQ(-1, stillHeld.acquired.load()) << "locked twice, unlocked once: still held";

    mutex.Unlock();
    LockProbe free(mutex);
    free.Start();
    free.Join();
    EXPECT_EQ(0, free.acquired.load());
}

TEST(OS_Semaphore, TimedWaitTimesOutOrTakesACount) {
    OS_Semaphore none;
    EXPECT_EQ(-1, none.TimedWait(1));
    EXPECT_EQ(-1, none.Wait());

    OS_Semaphore sem;
    ASSERT_EQ(0, sem.Init(0));
    int64_t t0 = OS_NowMs();
    EXPECT_EQ(-1, sem.TimedWait(5));
    int64_t waited = OS_NowMs() - t0;
    EXPECT_GE(waited, 4);
    EXPECT_LT(waited, 100);

    sem.Post();
    t0 = OS_NowMs();
    EXPECT_EQ(0, sem.TimedWait(1000));
    EXPECT_LT(OS_NowMs() - t0, 50);
    EXPECT_EQ(-1, sem.TimedWait(0));

    EXPECT_EQ(-1, sem.Init(OS_Semaphore::MAX_COUNT + 1));
    ASSERT_EQ(0, sem.Init(OS_Semaphore::MAX_COUNT));
    sem.Post();  // beyond the maximum: ignored
    for (int i = 0; i < OS_Semaphore::MAX_COUNT; ++i)
        ASSERT_EQ(0, sem.TimedWait(0));
    EXPECT_EQ(-1, sem.TimedWait(0));
}

TEST(OS_Semaphore, PostWakesAWaiterOnAnotherThread) {
    struct Waiter : OS_Thread {
        OS_Semaphore sem;
        std::atomic<int> result{-2};
        int Run() override {
            result = sem.Wait();
            return 0;
        }
    } waiter;
    ASSERT_EQ(0, waiter.sem.Init(0));
    waiter.Start();
    OS_Sleep(20);
    EXPECT_EQ(-2, waiter.result.load());
    waiter.sem.Post();
    waiter.Join();
    EXPECT_EQ(0, waiter.result.load());
}

TEST(OS_Clock, ElapsedIsZeroBeforeStartAndCountsAfter) {
    OS_Clock clock;
    EXPECT_EQ(0, clock.Elapsed());
    clock.Start(0);
    EXPECT_LT(clock.Elapsed(), 5);
    OS_Sleep(30);
    int64_t elapsed = clock.Elapsed();
    EXPECT_GE(elapsed, 29);
    EXPECT_LT(elapsed, 200);

    OS_Clock offset;
    offset.Start(1000);
    EXPECT_GE(offset.Elapsed(), 1000);
    EXPECT_NE(0, OS_NowMs());
}
