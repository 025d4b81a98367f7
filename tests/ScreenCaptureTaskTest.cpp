// vidloom:sanitize
// The screen and window capture threads: what they deliver, the frame pool
// running dry and recovering, no listener, pictures larger than a pool
// block, a window that vanishes while it is recorded, stopping.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "capture/ScreenCapTask.h"
#include "capture/WinCapTask.h"
#include "media/MemPool.h"
#include "os/OS_Clock.h"
#include "tests/support/FramePool.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/ScopedDisplay.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11ScreenTest.h"
#include "tests/support/X11TestScreen.h"

namespace {

const uint32_t RED = 0xFF0000;
// Long enough for a few pictures on a loaded machine; only a bound on
// waiting, never an expectation about speed.
const int WAIT_MS = 10000;

uint32_t PixelAt(const std::vector<uint8_t>& picture, int width, int x, int y) {
    uint32_t v;
    memcpy(&v, &picture[((size_t)y * width + x) * 4], 4);
    return v;
}

// Counts the pictures, keeps a copy of the latest with its packet fields,
// and gives each back at once.
class Collector : public ScreenCapListener {
public:
    int OnScreenFrame(MMPacket* packet) override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_count;
        m_last = *packet;
        m_lastData.assign(packet->data, packet->data + packet->size);
        packet->Release();
        return 0;
    }
    int Count() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_count;
    }
    // Waits until at least n pictures arrived; false after WAIT_MS.
    bool WaitFor(int n) {
        for (int64_t end = OS_NowMs() + WAIT_MS; OS_NowMs() < end; OS_Sleep(5))
            if (Count() >= n)
                return true;
        return false;
    }
    MMPacket Last() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_last;
    }
    std::vector<uint8_t> LastData() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lastData;
    }

private:
    std::mutex m_lock;  // guards everything below
    int m_count = 0;
    MMPacket m_last;    // fields only: its data went back
    std::vector<uint8_t> m_lastData;
};

using CaptureTask = X11ScreenTest;

}  // namespace

TEST_F(CaptureTask, ScreenTaskDeliversPoolPicturesOfItsRectangle) {
    Window(100, 100, 64, 48, RED);
    Collector collector;
    ScreenCapTask task;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(100, 100, 64, 48));
    EXPECT_EQ(32, task.bitsPerPixel());
    EXPECT_EQ(64 * 48 * 4, task.frameSize());
    ASSERT_EQ(0, task.Start());
    EXPECT_TRUE(collector.WaitFor(3));
    task.Stop();

    MMPacket last = collector.Last();
    EXPECT_EQ(64 * 48 * 4, last.size);
    EXPECT_TRUE(last.owns);
    EXPECT_EQ(MMPacket::TYPE_UNSET, last.type) << "the listener sets the type";
    EXPECT_EQ(0, last.timestamp);
    EXPECT_EQ(&MemPool::Frames(), last.allocator);
    std::vector<uint8_t> picture = collector.LastData();
    EXPECT_EQ(RED, PixelAt(picture, 64, 0, 0));
    EXPECT_EQ(RED, PixelAt(picture, 64, 63, 47));
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames()));
    task.Stop();  // twice is harmless
}

TEST_F(CaptureTask, WithoutListenerEveryPictureGoesBackAtOnce) {
    ScreenCapTask screenTask;
    ASSERT_EQ(0, screenTask.Open(0, 0, 320, 240));
    ASSERT_EQ(0, screenTask.Start());
    unsigned long w = Window(10, 10, 32, 32, RED);
    WinCapTask windowTask;
    ASSERT_EQ(0, windowTask.Open(w));
    ASSERT_EQ(0, windowTask.Start());
    OS_Sleep(300);
    // The pool never runs dry: at any moment at most the one being grabbed
    // is out.
    EXPECT_GE(FreePoolBlocks(MemPool::Frames()), MemPool::FRAME_BLOCK_COUNT - 1);
    screenTask.Stop();
    windowTask.Stop();
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames()));
}

TEST_F(CaptureTask, ScreenTaskWaitsForAFreeBlockAndResumes) {
    MemPool& pool = MemPool::Frames();
    std::vector<void*> held;
    while (void* p = pool.Alloc(1))
        held.push_back(p);
    ASSERT_EQ(MemPool::FRAME_BLOCK_COUNT, (int)held.size());

    Collector collector;
    ScreenCapTask task;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(0, 0, 64, 64));
    ASSERT_EQ(0, task.Start());
    OS_Sleep(200);
    EXPECT_EQ(0, collector.Count()) << "no block, no picture";

    pool.Free(held.back());
    held.pop_back();
    EXPECT_TRUE(collector.WaitFor(3)) << "pictures resume once a block is back";
    task.Stop();
    for (void* p : held)
        pool.Free(p);
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(pool));
}

TEST_F(CaptureTask, StopWithoutStartAndDeleteWithoutStop) {
    ScreenCapTask screenTask;
    ASSERT_EQ(0, screenTask.Open(0, 0, 100, 100));
    screenTask.Stop();
    screenTask.Stop();

    unsigned long w = Window(10, 10, 32, 32, RED);
    WinCapTask windowTask;
    ASSERT_EQ(0, windowTask.Open(w));
    windowTask.Stop();

    // An owner that forgets Stop: the destructor ends the thread.
    Collector collector;
    ScreenCapTask* running = new ScreenCapTask();
    running->SetListener(&collector);
    ASSERT_EQ(0, running->Open(0, 0, 100, 100));
    ASSERT_EQ(0, running->Start());
    EXPECT_TRUE(collector.WaitFor(1));
    delete running;

    // Open refusing: nothing to stop, and Stop still works.
    ScreenCapTask empty;
    EXPECT_EQ(-1, empty.Open(0, 0, 0, 0));
    empty.Stop();
    WinCapTask noWindow;
    EXPECT_EQ(-1, noWindow.Open(0));
    noWindow.Stop();
}

TEST_F(CaptureTask, PictureLargerThanAPoolBlockComesFromTheHeap) {
    PrivateXServer server;
    ASSERT_TRUE(server.Start("3840x2160x24"));
    X11TestScreen big;
    ASSERT_TRUE(big.Open(server.display().c_str()));
    big.FillRoot(RED);
    big.MovePointer(0, 0);

    ScopedDisplay display(server.display());
    Collector collector;
    ScreenCapTask task;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(0, 0, 3840, 2160));
    ASSERT_GT((unsigned)task.frameSize(), MemPool::Frames().BlockSize());
    ASSERT_EQ(0, task.Start());
    EXPECT_TRUE(collector.WaitFor(2));
    task.Stop();

    MMPacket last = collector.Last();
    EXPECT_EQ(nullptr, last.allocator);
    EXPECT_EQ(3840 * 2160 * 4, last.size);
    std::vector<uint8_t> picture = collector.LastData();
    EXPECT_EQ(RED, PixelAt(picture, 3840, 3839, 2159)) << "the whole picture is there";
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames()));
}

TEST_F(CaptureTask, WindowTaskDeliversHeapPicturesAndSurvivesTheWindow) {
    unsigned long w = m_screen.CreateWindow(200, 150, 90, 70, RED);  // destroyed below
    Collector collector;
    WinCapTask task;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(w));
    EXPECT_EQ(90, task.width());
    EXPECT_EQ(70, task.height());
    EXPECT_EQ(90 * 4, task.rowBytes());
    EXPECT_EQ(32, task.bitsPerPixel());
    EXPECT_EQ(90 * 70 * 4, task.frameSize());
    ASSERT_EQ(0, task.Start());
    EXPECT_TRUE(collector.WaitFor(2));

    MMPacket last = collector.Last();
    EXPECT_EQ(nullptr, last.allocator) << "window pictures come from the heap";
    EXPECT_EQ(90 * 70 * 4, last.size);
    EXPECT_TRUE(last.owns);
    EXPECT_EQ(MMPacket::TYPE_UNSET, last.type);
    EXPECT_EQ(RED, PixelAt(collector.LastData(), 90, 89, 69));

    // The window goes away: pictures keep coming, black, and nothing ends.
    m_screen.Destroy(w);
    int before = collector.Count();
    EXPECT_TRUE(collector.WaitFor(before + 3));
    EXPECT_EQ(std::vector<uint8_t>(90 * 70 * 4, 0), collector.LastData());
    task.Stop();
}

TEST(WinCapTaskPacing, PauseFillsTheFramePeriod) {
    EXPECT_EQ(30u, WinCapTask::PauseAfterPass(10));
    EXPECT_EQ(5u, WinCapTask::PauseAfterPass(60));
    EXPECT_EQ(40u, WinCapTask::PauseAfterPass(0));
    EXPECT_EQ(1u, WinCapTask::PauseAfterPass(39));
    EXPECT_EQ(5u, WinCapTask::PauseAfterPass(40));
}
