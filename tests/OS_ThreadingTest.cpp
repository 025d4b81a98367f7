// vidloom:sanitize
// Threads, recursive mutex, semaphore and clock.
#include <gtest/gtest.h>

#include <atomic>

#include "os/OS_Clock.h"
#include "os/OS_Mutex.h"
#include "os/OS_Semaphore.h"
#include "os/OS_Thread.h"

namespace {

// A thread that runs fn once.
template <class F>
struct FnThread : OS_Thread {
    explicit FnThread(F f) : fn(f) {}
    int Run() override {
        fn();
        return 0;
    }
    F fn;
};

template <class F>
void RunOnAnotherThread(F fn) {
    FnThread<F> thread(fn);
    ASSERT_EQ(0, thread.Start());
    thread.Join();
}

}  // namespace

TEST(OS_Thread, JoinWithoutStartOrTwiceReturnsAtOnce) {
    std::atomic<bool> quit{false};
    std::atomic<int> passes{0};
    auto loop = [&] {
        for (; !quit; OS_Sleep(1))
            ++passes;
    };
    FnThread<decltype(loop)> never(loop), thread(loop);
    never.Join();  // would hang the test if it waited
    never.Join();
    ASSERT_EQ(0, thread.Start());
    while (passes == 0)
        OS_Sleep(1);
    quit = true;
    thread.Join();
    int n = passes;
    thread.Join();
    EXPECT_EQ(n, passes.load());
}

TEST(OS_Mutex, RecursiveAndExclusive) {
    OS_Mutex uninitialised;
    EXPECT_EQ(-1, uninitialised.Lock());
    EXPECT_EQ(-1, uninitialised.TryLock());
    uninitialised.Unlock();  // harmless

    OS_Mutex mutex;
    ASSERT_EQ(0, mutex.Init());
    auto tryElsewhere = [&mutex] {
        int got = -2;
        RunOnAnotherThread([&] {
            if ((got = mutex.TryLock()) == 0)
                mutex.Unlock();
        });
        return got;
    };
    ASSERT_EQ(0, mutex.Lock());
    ASSERT_EQ(0, mutex.Lock());
    EXPECT_EQ(-1, tryElsewhere()) << "other threads wait while it is held";
    mutex.Unlock();
    EXPECT_EQ(-1, tryElsewhere()) << "locked twice, unlocked once: still held";
    mutex.Unlock();
    EXPECT_EQ(0, tryElsewhere());
}

TEST(OS_Semaphore, TimesOutCountsToItsMaximumAndWakesAnotherThread) {
    OS_Semaphore none;
    EXPECT_EQ(-1, none.TimedWait(1));
    EXPECT_EQ(-1, none.Wait());

    OS_Semaphore sem;
    ASSERT_EQ(0, sem.Init(0));
    int64_t t0 = OS_NowMs();
    EXPECT_EQ(-1, sem.TimedWait(5));
    EXPECT_GE(OS_NowMs() - t0, 4);
    EXPECT_LT(OS_NowMs() - t0, 1000) << "milliseconds, not seconds";

    std::atomic<int> result{-2};
    auto wait = [&] { result = sem.Wait(); };
    FnThread<decltype(wait)> waiter(wait);
    ASSERT_EQ(0, waiter.Start());
    OS_Sleep(20);
    EXPECT_EQ(-2, result.load());
    sem.Post();
    waiter.Join();
    EXPECT_EQ(0, result.load());
    EXPECT_EQ(-1, sem.TimedWait(0)) << "the one count was taken";

    EXPECT_EQ(-1, sem.Init(OS_Semaphore::MAX_COUNT + 1));
    ASSERT_EQ(0, sem.Init(OS_Semaphore::MAX_COUNT));
    sem.Post();  // beyond the maximum: ignored
    for (int i = 0; i < OS_Semaphore::MAX_COUNT; ++i)
        ASSERT_EQ(0, sem.TimedWait(0));
    EXPECT_EQ(-1, sem.TimedWait(0));
}

TEST(OS_Clock, ElapsedIsZeroBeforeStartAndCountsFromTheOffset) {
    OS_Clock clock, offset;
    EXPECT_EQ(0, clock.Elapsed());
    clock.Start(0);
    offset.Start(1000);
    OS_Sleep(30);
    EXPECT_GE(clock.Elapsed(), 29);
    EXPECT_LT(clock.Elapsed(), 1000);
    EXPECT_GE(offset.Elapsed(), 1029);
}
