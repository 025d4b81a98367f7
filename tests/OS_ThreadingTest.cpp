// vidloom:sanitize
// Threads, recursive mutex and semaphore.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "os/OS_Clock.h"
#include "os/OS_Mutex.h"
#include "os/OS_Semaphore.h"
#include "os/OS_Thread.h"

TEST(OS_Threading, ThreadStartsOnceMutexIsRecursiveSemaphoreTimesOutAndCountsToItsMaximum) {
    struct Counter : OS_Thread {
        std::atomic<bool> quit{false};
        std::atomic<int> passes{0};
        int Run() override {
            for (; !quit; OS_Sleep(1))
                ++passes;
            return 0;
        }
    } never, thread;
    never.Join();  // would hang the test if it waited
    ASSERT_EQ(0, thread.Start());
    EXPECT_EQ(-1, thread.Start()) << "already running";
    while (thread.passes == 0)
        OS_Sleep(1);
    thread.quit = true;
    thread.Join();
    thread.Join();

    OS_Mutex uninitialised, mutex;
    EXPECT_EQ(-1, uninitialised.Lock());
    ASSERT_EQ(0, mutex.Init());
    auto tryElsewhere = [&mutex] {
        int got = -2;
        std::thread([&] {
            if ((got = mutex.TryLock()) == 0)
                mutex.Unlock();
        }).join();
        return got;
    };
    ASSERT_EQ(0, mutex.Lock());
    ASSERT_EQ(0, mutex.Lock());
    mutex.Unlock();
    EXPECT_EQ(-1, tryElsewhere()) << "locked twice, unlocked once: still held";
    mutex.Unlock();
    EXPECT_EQ(0, tryElsewhere());

    OS_Semaphore none, sem;
    EXPECT_EQ(-1, none.TimedWait(1));
    ASSERT_EQ(0, sem.Init(0));
    int64_t t0 = OS_NowMs();
    EXPECT_EQ(-1, sem.TimedWait(5));
    EXPECT_GE(OS_NowMs() - t0, 4);
    EXPECT_LT(OS_NowMs() - t0, 1000) << "milliseconds, not seconds";
    std::atomic<int> result{-2};
    std::thread waiter([&] { result = sem.Wait(); });
    OS_Sleep(20);
    EXPECT_EQ(-2, result.load());
    sem.Post();
    waiter.join();
    EXPECT_EQ(0, result.load());
    EXPECT_EQ(-1, sem.TimedWait(0)) << "the one count was taken";

    EXPECT_EQ(-1, sem.Init(OS_Semaphore::MAX_COUNT + 1));
    ASSERT_EQ(0, sem.Init(OS_Semaphore::MAX_COUNT));
    sem.Post();  // beyond the maximum: ignored
    for (int i = 0; i < OS_Semaphore::MAX_COUNT; ++i)
        ASSERT_EQ(0, sem.TimedWait(0));
    EXPECT_EQ(-1, sem.TimedWait(0));
}
