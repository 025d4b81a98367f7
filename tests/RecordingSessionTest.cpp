// vidloom:sanitize
// The recording engine both windows use, without widgets: screen or camera pictures into an MP4.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "capture/RecordingSession.h"
#include "media/MemPool.h"
#include "os/OS_Clock.h"
#include "tests/support/FramePool.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"

namespace {

const int FPS = 25;
// Colours painted one after another while recording (0xRRGGBB).
const uint32_t PALETTE[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

using RecordingSessionScreen = X11ScreenTest;

}  // namespace

TEST_F(RecordingSessionScreen, ThreeSecondsOfARegionBecomeAbout75Pictures) {
    const int W = 320, H = 240;
    unsigned long window = Window(100, 100, W, H, PALETTE[0]);
    TempDir dir;
    std::string path = dir.File("region.mp4");
    RecordingSession session;
    session.StartClock();
    ASSERT_EQ(0, session.OpenScreen(100, 100, W, H));
    ASSERT_EQ(0, session.OpenPacker(path, W, H, session.SourceBitsPerPixel(), 0));
    ASSERT_EQ(0, session.StartCapture());
    // A new colour every frame period for 3 s.
    for (int64_t i = 0, end = OS_NowMs() + 3000; OS_NowMs() < end; ++i, OS_Sleep(1000 / FPS))
        m_screen.Fill(window, 0, 0, W, H, PALETTE[i % 6]);
    session.StopCapture();
    session.ClosePacker();
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames())) << "every block came back";

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    int v = probe.FindStream(ProbeStream::VIDEO);
    ASSERT_GE(v, 0);
    EXPECT_EQ(W, probe.Streams()[v].width);
    EXPECT_EQ(H, probe.Streams()[v].height);
    std::vector<ProbePicture> pictures;
    ASSERT_EQ(0, probe.DecodePictures(v, &pictures));
    // One picture per 40 ms period of the 3 s, give or take a few at the ends and under load.
    EXPECT_GE(pictures.size(), 65u);
    EXPECT_LE(pictures.size(), 77u);

    // The changing content is in the file: the palette colours shown (averaged, within codec error).
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

// Camera pictures: only while recording, one per frame period, numbered by the clock to the nearest period.
TEST(RecordingSession, CameraPicturesPassOnlyWhileRecordingOnePerPeriod) {
    const int64_t ms[] = {0, 19, 20, 61, 1019, 1021}, frames[] = {0, 0, 1, 2, 25, 26};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(frames[i], RecordingSession::FrameNumber(ms[i])) << ms[i] << " ms";
    const int W = 64, H = 48;
    InitFramePool();
    TempDir dir;
    std::string path = dir.File("camera.mp4");
    std::vector<uint8_t> picture(W * H * 3, 0x80);
    RecordingSession session;
    ASSERT_EQ(0, session.OpenPacker(path, W, H, 24, 0));
    session.StartClock();
    session.OnCameraPicture(picture.data(), (int)picture.size());  // not recording yet
    session.SetRecording(true);
    // 30 pictures a second for 2 s: 50 periods, some with two pictures.
    for (int i = 0; i < 60; ++i, OS_Sleep(1000 / 30))
        session.OnCameraPicture(picture.data(), (int)picture.size());
    session.SetRecording(false);
    session.OnCameraPicture(picture.data(), (int)picture.size());
    session.ClosePacker();
    EXPECT_EQ(MemPool::FRAME_BLOCK_COUNT, FreePoolBlocks(MemPool::Frames())) << "every block came back";

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    int v = probe.FindStream(ProbeStream::VIDEO);
    ASSERT_GE(v, 0);
    const std::vector<ProbePacket>& packets = probe.Packets(v);
    EXPECT_GE(packets.size(), 45u);
    EXPECT_LE(packets.size(), 52u);
    for (size_t i = 1; i < packets.size(); ++i)
        EXPECT_GT(packets[i].pts, packets[i - 1].pts);
}
