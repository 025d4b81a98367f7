// vidloom:sanitize
// The screen and window capture threads: delivery, a dry frame pool, vanished windows, stopping, pacing.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "capture/ScreenCapTask.h"
#include "capture/WinCapTask.h"
#include "os/OS_Clock.h"
#include "tests/support/FramePool.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"

namespace {

const uint32_t RED = 0xFF0000;

// Counts the pictures, keeps the latest one and gives each back at once. Read under lock while running.
struct Collector : ScreenCapListener {
    std::mutex lock;
    int count = 0;
    MMPacket last;
    std::vector<uint8_t> lastData;
    uint32_t lastPixel = 0;  // the bottom-right one
    bool hold = false;       // keep the pictures instead, as a stalled packer
    std::vector<MMPacket> held;

    int OnScreenFrame(MMPacket* packet) override {
        std::lock_guard<std::mutex> guard(lock);
        ++count;
        last = *packet;
        lastData.assign(packet->data, packet->data + packet->size);
        memcpy(&lastPixel, packet->data + packet->size - 4, 4);
        lastPixel &= 0xFFFFFF;  // the fourth byte is unused
        if (hold)
            held.push_back(*packet);
        else
            packet->Release();
        return 0;
    }
    // Waits for at least n pictures; false after ms (a bound for a loaded machine, not a speed check).
    bool WaitFor(int n, int ms = 10000) {
        for (int64_t end = OS_NowMs() + ms; OS_NowMs() < end; OS_Sleep(5)) {
            std::lock_guard<std::mutex> guard(lock);
            if (count >= n)
                return true;
        }
        return false;
    }
};

using CaptureTask = X11ScreenTest;

}  // namespace

TEST_F(CaptureTask, ScreenTaskWaitsForAFreeBlockNeedsNoListenerAndEndsWithoutStop) {
    Window(100, 100, 64, 48, RED);
    // On the screen: pictures lent from the grabber's segments, all of them held.
    Collector lent;
    lent.hold = true;
    ScreenCapTask lending;
    lending.SetListener(&lent);
    ASSERT_EQ(0, lending.Open(100, 100, 64, 48));
    ASSERT_EQ(0, lending.Start());
    ASSERT_TRUE(lent.WaitFor(DesktopGrabber::LENT_PICTURES));
    EXPECT_FALSE(lent.WaitFor(DesktopGrabber::LENT_PICTURES + 1, 200)) << "every segment out, no picture";
    MMPacket first = lent.held[0];
    lending.Stop();  // the held pictures outlive the grabber
    EXPECT_NE(&MemPool::Frames(), first.allocator);
    for (MMPacket& p : lent.held)
        EXPECT_EQ(std::vector<uint8_t>(p.data, p.data + p.size), lent.lastData) << "red, whole";
    for (MMPacket& p : lent.held)
        p.Release();

    // Partly off the screen: copied into pool blocks, the outside black.
    MemPool& pool = MemPool::Frames();
    std::vector<void*> held;
    while (void* p = pool.Alloc(1))
        held.push_back(p);
    Collector collector;
    ScreenCapTask task;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(-64, 100, 128, 48));
    ASSERT_EQ(0, task.Start());
    EXPECT_FALSE(collector.WaitFor(1, 200)) << "no block, no picture";
    pool.Free(held.back());
    held.pop_back();
    EXPECT_TRUE(collector.WaitFor(3)) << "pictures resume once a block is back";
    task.Stop();
    task.Stop();
    for (void* p : held)
        pool.Free(p);
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(pool));
    EXPECT_EQ(128 * 48 * 4, collector.last.size);
    EXPECT_EQ(&pool, collector.last.allocator);
    EXPECT_EQ(0u, collector.lastData[47 * 128 * 4 + 63 * 4 + 1]) << "off the screen";

    // No listener, Stop without Start, delete without Stop.
    ScreenCapTask screenTask;
    screenTask.Stop();
    ASSERT_EQ(0, screenTask.Open(0, 0, 320, 240));
    ASSERT_EQ(0, screenTask.Start());
    WinCapTask windowTask;
    ASSERT_EQ(0, windowTask.Open(Window(10, 10, 32, 32, RED)));
    ASSERT_EQ(0, windowTask.Start());
    OS_Sleep(300);
    // Without a listener at most the pictures being grabbed are out.
    EXPECT_GE(FreePoolBlocks(MemPool::Frames()), MemPool::FRAME_BLOCK_COUNT - 2);
    screenTask.Stop();
    windowTask.Stop();
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames()));

    Collector other;
    auto* running = new ScreenCapTask();
    running->SetListener(&other);
    ASSERT_EQ(0, running->Open(0, 0, 100, 100));
    ASSERT_EQ(0, running->Start());
    EXPECT_TRUE(other.WaitFor(1));
    delete running;  // the destructor ends the thread
}

TEST_F(CaptureTask, PictureLargerThanAPoolBlockGetsALargerBlock) {
    PrivateXServer server;
    ASSERT_TRUE(server.Start("3840x2160x24"));
    X11TestScreen big;
    ASSERT_TRUE(big.Open(server.display().c_str()));
    big.FillRoot(RED);
    big.MovePointer(0, 0);
    ScopedEnv display("DISPLAY", server.display());
    Collector collector;
    ScreenCapTask task;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(0, 1, 3840, 2160));  // partly off the screen: copied
    ASSERT_EQ(0, task.Start());
    EXPECT_TRUE(collector.WaitFor(2));
    task.Stop();
    EXPECT_EQ(&MemPool::Frames(), collector.last.allocator);
    EXPECT_EQ(3840u * 2160 * 4, MemPool::Frames().BlockSize());
    EXPECT_EQ(3840 * 2160 * 4, collector.last.size);
    EXPECT_EQ(0u, collector.lastPixel) << "its last row is off the screen";
    EXPECT_EQ(0xFF, collector.lastData[(size_t)2158 * 3840 * 4 + 2]) << "the rest is there";
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames()));
}

TEST_F(CaptureTask, WindowTaskDeliversPoolPicturesAndSurvivesTheWindow) {
    unsigned long w = m_screen.CreateWindow(200, 150, 90, 70, RED);  // destroyed below
    Collector collector;
    WinCapTask task;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(w));
    ASSERT_EQ(0, task.Start());
    EXPECT_TRUE(collector.WaitFor(2));
    int count;
    {
        std::lock_guard<std::mutex> guard(collector.lock);
        EXPECT_EQ(&MemPool::Frames(), collector.last.allocator);
        EXPECT_EQ(90 * 70 * 4, collector.last.size);
        EXPECT_EQ(RED, collector.lastPixel);
        count = collector.count;
    }
    // The window goes away: pictures keep coming, black though their blocks held red, and nothing ends.
    m_screen.Destroy(w);
    EXPECT_TRUE(collector.WaitFor(count + 3));
    task.Stop();
    EXPECT_EQ(std::vector<uint8_t>(90 * 70 * 4, 0), collector.lastData);
}

// Numbers pictures by the time the task stamped them with and holds the latest two, as a busy packer's queue does.
struct BusyPacker : ScreenCapListener {
    OS_Clock* clock = nullptr;
    std::vector<int64_t> frames;
    int64_t intoPeriodMs = 0;  // summed: how far into its period each picture came
    int64_t stampedLate = 0;   // pictures stamped after they arrived, or long before
    std::deque<MMPacket> held;

    int OnScreenFrame(MMPacket* packet) override {
        int64_t now = clock->ElapsedUs(), frame = RecordingFormat::FrameAt(packet->timestamp, 25);
        if (packet->timestamp > now || now - packet->timestamp > 20000)
            ++stampedLate;
        frames.push_back(frame);
        intoPeriodMs += (packet->timestamp - RecordingFormat::PeriodStart(frame, 25)) / 1000;
        held.push_back(*packet);
        if (held.size() > 2) {
            held.front().Release();
            held.pop_front();
        }
        return 0;
    }
    ~BusyPacker() {
        for (MMPacket& p : held)
            p.Release();
    }
};

TEST_F(CaptureTask, OnePicturePerFramePeriodOfTheRecordingClockAndAPromptStop) {
    unsigned long window = Window(50, 50, 96, 64, RED);
    OS_Clock clock;
    clock.Start(0);
    // Half a period out of step: a task on its own clock would grab mid-period.
    OS_Sleep(140);
    BusyPacker screenPacker, windowPacker;
    screenPacker.clock = windowPacker.clock = &clock;
    ScreenCapTask screenTask;
    WinCapTask windowTask;
    screenTask.SetListener(&screenPacker);
    windowTask.SetListener(&windowPacker);
    screenTask.SetFrameClock(&clock);
    windowTask.SetFrameClock(&clock);
    ASSERT_EQ(0, screenTask.Open(0, 0, 640, 480));
    ASSERT_EQ(0, windowTask.Open(window));
    ASSERT_EQ(0, screenTask.Start());
    ASSERT_EQ(0, windowTask.Start());
    OS_Sleep(2000);
    // Stop cuts the wait for the next period short.
    int64_t stopStart = OS_NowMs();
    screenTask.Stop();
    windowTask.Stop();
    EXPECT_LT(OS_NowMs() - stopStart, 35) << "both stops together, without waiting out a period";

    for (BusyPacker* packer : {&screenPacker, &windowPacker}) {
        const std::vector<int64_t>& frames = packer->frames;
        ASSERT_GE(frames.size(), 40u) << "25 a second";
        int missed = 0;
        for (size_t i = 1; i < frames.size(); ++i) {
            ASSERT_GT(frames[i], frames[i - 1]) << "one grab per period: none is wasted";
            missed += (int)(frames[i] - frames[i - 1] - 1);
        }
        // On a loaded machine (or under a sanitizer) a grab may now and then miss its period.
        EXPECT_LE(missed, (int)frames.size() / 10) << "periods without a picture";
        EXPECT_LT(packer->intoPeriodMs / (double)frames.size(), 10) << "grabbed as the period begins";
        EXPECT_LE(packer->stampedLate, (int64_t)frames.size() / 10) << "stamped at the grab, on its clock";
    }
}
