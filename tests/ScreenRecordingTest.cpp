// vidloom:sanitize
// Recordings end to end: a changing part of the screen (or one window)
// through a capture thread and the packer into an MP4, read back with
// FFmpeg's own demuxer and decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "capture/ScreenCapTask.h"
#include "capture/WinCapTask.h"
#include "media/AvPacker.h"
#include "media/MemPool.h"
#include "os/OS_Clock.h"
#include "tests/support/FramePool.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"

namespace {

const int FPS = 25;
const double FRAME_PERIOD_MS = 1000.0 / FPS;
// Colours painted one after another while recording (0xRRGGBB).
const uint32_t PALETTE[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

// Does what the screen recorder window does with each picture: stamps it
// with the number of frame periods since the start and pushes it.
class Stamper : public ScreenCapListener {
public:
    explicit Stamper(AvPacker* packer) : m_packer(packer) { m_clock.Start(0); }
    int OnScreenFrame(MMPacket* packet) override {
        packet->type = MMPacket::TYPE_VIDEO;
        packet->timestamp = (int64_t)(m_clock.Elapsed() / FRAME_PERIOD_MS + 0.5);
        m_packer->Push(packet);
        return 0;
    }

private:
    AvPacker* m_packer;
    OS_Clock m_clock;  // read on the capture thread only after Start
};

// Repaints window with the next colour of the palette every frame period
// for durationMs.
void PaintChangingColours(X11TestScreen& screen, unsigned long window, int width, int height,
                          int durationMs) {
    int64_t end = OS_NowMs() + durationMs;
    for (int i = 0; OS_NowMs() < end; ++i) {
        screen.Fill(window, 0, 0, width, height, PALETTE[i % 6]);
        OS_Sleep((unsigned)FRAME_PERIOD_MS);
    }
}

// Which palette colours the decoded pictures show (each picture averaged,
// within codec error).
std::set<int> ColoursSeen(const std::vector<ProbePicture>& pictures) {
    std::set<int> seen;
    for (const ProbePicture& p : pictures) {
        double b, g, r;
        p.Average(p.width / 4, p.height / 4, p.width / 2, p.height / 2, &b, &g, &r);
        for (int c = 0; c < 6; ++c) {
            uint32_t rgb = PALETTE[c];
            if (std::abs(r - (rgb >> 16 & 0xFF)) < 16 && std::abs(g - (rgb >> 8 & 0xFF)) < 16 &&
                std::abs(b - (rgb & 0xFF)) < 16)
                seen.insert(c);
        }
    }
    return seen;
}

class ScreenRecording : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        InitFramePool();
        ASSERT_TRUE(m_screen.Open());
        m_screen.MovePointer(m_screen.width() - 1, m_screen.height() - 1);
    }
    X11TestScreen m_screen;
    TempDir m_dir;
};

}  // namespace

TEST_F(ScreenRecording, ThreeSecondsOfARegionBecomeAbout75Pictures) {
    const int W = 320, H = 240;
    unsigned long window = m_screen.CreateWindow(100, 100, W, H, PALETTE[0]);
    std::string path = m_dir.File("region.mp4");

    ScreenCapTask* task = new ScreenCapTask();
    ASSERT_EQ(0, task->Open(100, 100, W, H));
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), W, H, task->bitsPerPixel(), 0, W, H, FPS));
    Stamper stamper(&packer);
    task->SetListener(&stamper);
    ASSERT_EQ(0, task->Start());
    PaintChangingColours(m_screen, window, W, H, 3000);
    task->Stop();
    delete task;
    packer.Close();
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames()))
        << "every pool block came back";

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    int v = probe.FindStream(ProbeStream::VIDEO);
    ASSERT_GE(v, 0);
    EXPECT_EQ(W, probe.Streams()[v].width);
    EXPECT_EQ(H, probe.Streams()[v].height);
    // One picture per 40 ms period of the 3 s, give or take a few at the ends
    // and on a loaded machine.
    int pictures = (int)probe.Packets(v).size();
    EXPECT_GE(pictures, 65);
    EXPECT_LE(pictures, 77);

    std::vector<ProbePicture> decoded;
    ASSERT_EQ(0, probe.DecodePictures(v, &decoded));
    EXPECT_EQ(pictures, (int)decoded.size());
    EXPECT_GE(ColoursSeen(decoded).size(), 4u) << "the changing content is in the file";
    m_screen.Destroy(window);
}

TEST_F(ScreenRecording, AWindowIsRecordedAtItsOwnSize) {
    const int W = 150, H = 98;
    unsigned long window = m_screen.CreateWindow(600, 400, W, H, PALETTE[0]);
    std::string path = m_dir.File("window.mp4");

    WinCapTask task;
    ASSERT_EQ(0, task.Open(window));
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), task.width(), task.height(), task.bitsPerPixel(), 0,
                             task.width(), task.height(), FPS));
    Stamper stamper(&packer);
    task.SetListener(&stamper);
    ASSERT_EQ(0, task.Start());
    PaintChangingColours(m_screen, window, W, H, 1000);
    task.Stop();
    packer.Close();

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    int v = probe.FindStream(ProbeStream::VIDEO);
    ASSERT_GE(v, 0);
    EXPECT_EQ(W, probe.Streams()[v].width);
    EXPECT_EQ(H, probe.Streams()[v].height);
    EXPECT_GE(probe.Packets(v).size(), 15u);
    EXPECT_LE(probe.Packets(v).size(), 27u);
    std::vector<ProbePicture> decoded;
    ASSERT_EQ(0, probe.DecodePictures(v, &decoded));
    EXPECT_GE(ColoursSeen(decoded).size(), 3u);
    m_screen.Destroy(window);
}
