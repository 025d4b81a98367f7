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
#include "tests/support/X11ScreenTest.h"
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

// Every picture of the video stream in path, which must be width x height.
std::vector<ProbePicture> ReadPictures(const std::string& path, int width, int height) {
    std::vector<ProbePicture> pictures;
    Mp4Probe probe;
    EXPECT_EQ(0, probe.Open(path)) << probe.Error();
    int v = probe.FindStream(ProbeStream::VIDEO);
    EXPECT_GE(v, 0);
    if (v < 0)
        return pictures;
    EXPECT_EQ(width, probe.Streams()[v].width);
    EXPECT_EQ(height, probe.Streams()[v].height);
    EXPECT_EQ(0, probe.DecodePictures(v, &pictures));
    EXPECT_EQ(probe.Packets(v).size(), pictures.size()) << "every stored picture decodes";
    return pictures;
}

class ScreenRecording : public X11ScreenTest {
protected:
    TempDir m_dir;
};

}  // namespace

TEST_F(ScreenRecording, ThreeSecondsOfARegionBecomeAbout75Pictures) {
    const int W = 320, H = 240;
    unsigned long window = Window(100, 100, W, H, PALETTE[0]);
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

    // One picture per 40 ms period of the 3 s, give or take a few at the ends
    // and on a loaded machine.
    std::vector<ProbePicture> pictures = ReadPictures(path, W, H);
    EXPECT_GE(pictures.size(), 65u);
    EXPECT_LE(pictures.size(), 77u);
    EXPECT_GE(ColoursSeen(pictures).size(), 4u) << "the changing content is in the file";
}

TEST_F(ScreenRecording, AWindowIsRecordedAtItsOwnSize) {
    const int W = 150, H = 98;
    unsigned long window = Window(600, 400, W, H, PALETTE[0]);
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

    std::vector<ProbePicture> pictures = ReadPictures(path, W, H);
    EXPECT_GE(pictures.size(), 15u);
    EXPECT_LE(pictures.size(), 27u);
    EXPECT_GE(ColoursSeen(pictures).size(), 3u);
}
