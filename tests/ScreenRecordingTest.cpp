// vidloom:sanitize
// A recording end to end: a changing part of the screen through the capture
// thread and the packer into an MP4, read back with FFmpeg's own demuxer
// and decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "capture/ScreenCapTask.h"
#include "media/AvPacker.h"
#include "os/OS_Clock.h"
#include "tests/support/FramePool.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11ScreenTest.h"

namespace {

const int FPS = 25;
// Colours painted one after another while recording (0xRRGGBB).
const uint32_t PALETTE[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

// Does what the screen recorder window does with each picture: stamps it
// with the number of frame periods since the start and pushes it.
class Stamper : public ScreenCapListener {
public:
    explicit Stamper(AvPacker* packer) : m_packer(packer) { m_clock.Start(0); }
    int OnScreenFrame(MMPacket* packet) override {
        packet->type = MMPacket::TYPE_VIDEO;
        packet->timestamp = (int64_t)(m_clock.Elapsed() * FPS / 1000.0 + 0.5);
        m_packer->Push(packet);
        return 0;
    }

private:
    AvPacker* m_packer;
    OS_Clock m_clock;  // read on the capture thread only after Start
};

using ScreenRecording = X11ScreenTest;

}  // namespace

TEST_F(ScreenRecording, ThreeSecondsOfARegionBecomeAbout75Pictures) {
    const int W = 320, H = 240;
    unsigned long window = Window(100, 100, W, H, PALETTE[0]);
    TempDir dir;
    std::string path = dir.File("region.mp4");
    auto* task = new ScreenCapTask();
    ASSERT_EQ(0, task->Open(100, 100, W, H));
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), W, H, task->bitsPerPixel(), 0, W, H, FPS));
    Stamper stamper(&packer);
    task->SetListener(&stamper);
    ASSERT_EQ(0, task->Start());
    // A new colour every frame period for 3 s.
    for (int64_t i = 0, end = OS_NowMs() + 3000; OS_NowMs() < end; ++i, OS_Sleep(1000 / FPS))
        m_screen.Fill(window, 0, 0, W, H, PALETTE[i % 6]);
    task->Stop();
    delete task;
    packer.Close();
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames())) << "every block came back";

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    int v = probe.FindStream(ProbeStream::VIDEO);
    ASSERT_GE(v, 0);
    EXPECT_EQ(W, probe.Streams()[v].width);
    EXPECT_EQ(H, probe.Streams()[v].height);
    std::vector<ProbePicture> pictures;
    ASSERT_EQ(0, probe.DecodePictures(v, &pictures));
    EXPECT_EQ(probe.Packets(v).size(), pictures.size()) << "every stored picture decodes";
    // One picture per 40 ms period of the 3 s, give or take a few at the ends
    // and on a loaded machine.
    EXPECT_GE(pictures.size(), 65u);
    EXPECT_LE(pictures.size(), 77u);

    // The changing content is in the file: the palette colours the pictures
    // show (averaged, within codec error).
    std::set<int> seen;
    for (const ProbePicture& p : pictures) {
        double b, g, r;
        p.Average(W / 4, H / 4, W / 2, H / 2, &b, &g, &r);
        for (int c = 0; c < 6; ++c)
            if (std::abs(r - (PALETTE[c] >> 16 & 0xFF)) < 16 && std::abs(g - (PALETTE[c] >> 8 & 0xFF)) < 16 &&
                std::abs(b - (PALETTE[c] & 0xFF)) < 16)
                seen.insert(c);
    }
    EXPECT_GE(seen.size(), 4u);
}
