// vidloom:sanitize
// The recording engine without widgets (the windows' end-to-end tests record the screen through it):
// camera pictures into an MP4, finished by its worker, which ends a recording whose camera went silent.
#include <gtest/gtest.h>

#include <atomic>

#include "capture/RecordingSession.h"
#include "media/MemPool.h"
#include "media/PacketSink.h"
#include "os/OS_Clock.h"
#include "tests/support/FramePool.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

namespace {

// What the engine tells, counted; the preview's pictures, first bytes kept.
struct Events : RecordingListener, PacketSink {
    void OnSoundDevices(const std::vector<AudioInputDevice>&) override {}
    void OnSoundStarted(int) override {}
    void OnRecordingFailed(int c, int) override { cause = c; }
    void OnCameraLost() override { ++lost; }
    void OnFinished() override { ++finished; }
    int Push(MMPacket* packet) override {
        firstByte = packet->data[0];
        ++previewed;
        packet->Release();
        return 0;
    }
    std::atomic<int> cause{0}, lost{0}, finished{0}, previewed{0}, firstByte{0};
};

}  // namespace

// Camera pictures: flipped, previewed always, recorded only while recording, one per frame period
// numbered to the nearest; a camera that goes silent ends the recording with a whole file.
TEST(RecordingSession, CameraPicturesAreFlippedPreviewedRecordedOnePerPeriodUntilTheCameraGoes) {
    const int64_t ms[] = {0, 19, 20, 61, 1019, 1021}, frames[] = {0, 0, 1, 2, 25, 26};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(frames[i], RecordingFormat::FrameAt(ms[i] * 1000, 25)) << ms[i] << " ms";
    const int W = 64, H = 48;
    InitFramePool();
    TempDir dir;
    std::string path = dir.File("camera.mp4");
    std::vector<uint8_t> picture(W * H * 3, 0x80);
    picture[0] = 1;  // the top row's first byte; the bottom row's is 0x80
    Events events;
    RecordingSession session;
    session.SetListener(&events);
    ASSERT_EQ(0, session.Init());
    session.SetCamera(W, H, 24);
    session.SetPreview(&events);
    session.SetReverse(true);
    ASSERT_EQ(0, session.OpenPacker(path, W, H, 24, 0));
    session.StartClock();
    session.OnCameraFrame(0, picture.data(), (long)picture.size());  // not recording yet
    EXPECT_EQ(1, events.previewed);
    EXPECT_EQ(0x80, events.firstByte) << "the preview gets the flipped picture";
    // A picture of one whole row only: nothing to swap it with, nothing read past its end.
    std::vector<uint8_t> tiny(W * 3 + 7, 7);
    tiny[0] = 1;
    session.OnCameraFrame(0, tiny.data(), (long)tiny.size());
    EXPECT_EQ(1, tiny[0]);
    session.SetReverse(false);

    session.SetRecording(true);
    // 30 pictures a second for 2 s: 50 periods, some with two pictures.
    for (int i = 0; i < 60; ++i, OS_Sleep(1000 / 30))
        session.OnCameraFrame(0, picture.data(), (long)picture.size());
    EXPECT_EQ(0, events.lost);
    // then nothing: the camera is gone
    ASSERT_TRUE(WaitUntil([&] { return events.finished >= 1; })) << "the silent camera ends the recording";
    EXPECT_EQ(1, events.lost);
    EXPECT_EQ(RecordingListener::CAUSE_CAMERA, events.cause);
    EXPECT_FALSE(session.Active());
    session.OnCameraFrame(0, picture.data(), (long)picture.size());  // no longer recorded
    session.Free();
    EXPECT_EQ(1, events.lost) << "told once";
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
