// vidloom:sanitize
// The packer thread end to end: packets pushed in, the MP4 read back with
// FFmpeg's own demuxer and decoders.
#include <gtest/gtest.h>

#include <algorithm>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "media/AvPacker.h"
#include "media/MemPool.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/PacketSource.h"
#include "tests/support/TestEnv.h"

namespace {

const int FPS = 25;

// Pushes a picture and waits until the packer has taken it, so that the
// admission rule never drops one.
void PushPaced(AvPacker& packer, MMPacket packet) {
    AvPacker::Stats before = packer.GetStats();
    int64_t handled = before.picturesEncoded + before.picturesSkipped;
    packer.Push(&packet);
    ASSERT_TRUE(WaitUntil([&] {
        AvPacker::Stats s = packer.GetStats();
        return s.picturesEncoded + s.picturesSkipped > handled;
    }));
}

// Video packet timestamps as frame numbers of the 1/25 time base.
std::vector<int64_t> FrameNumbers(const Mp4Probe& probe, int stream) {
    const ProbeStream& s = probe.Streams()[stream];
    std::vector<int64_t> frames;
    for (const ProbePacket& p : probe.Packets(stream)) {
        int64_t scaled = p.pts * s.timeBaseNum * FPS;
        EXPECT_EQ(0, scaled % s.timeBaseDen) << "pts " << p.pts << " is not on a 1/25 s step";
        frames.push_back(scaled / s.timeBaseDen);
    }
    return frames;
}

// Pushes picture 0 and returns once the packer thread, done with it, is
// held in its release: until memory.Let(), the queue only fills.
::testing::AssertionResult HoldPackerAfterFirstPicture(AvPacker& packer, CountingAllocator& memory,
                                                       const std::vector<uint8_t>& picture) {
    memory.HoldNextFree();
    MMPacket first = PicturePacket(picture, 0, &memory);
    packer.Push(&first);
    if (!memory.WaitHeld())
        return ::testing::AssertionFailure() << "the packer never took the first picture";
    return ::testing::AssertionSuccess();
}

void ExpectColour(const ProbePicture& picture, int blue, int green, int red) {
    double b, g, r;
    picture.Average(0, 0, picture.width, picture.height, &b, &g, &r);
    EXPECT_NEAR(blue, b, 8);
    EXPECT_NEAR(green, g, 8);
    EXPECT_NEAR(red, r, 8);
}

}  // namespace

// A recording as the screen recorder makes it: pool pictures at 25 per
// second with a steady tone.
TEST(AvPacker, WritesBothStreamsAsSpecified) {
    TempDir dir;
    std::string path = dir.File("rec.mp4");
    MemPool pool;
    pool.Init(640 * 480 * 4, 4);
    CountingAllocator sound;
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), 640, 480, 32, 0, 640, 480, FPS));

    // 60 pictures, a third each red, green, blue; sound to match 2.4 s.
    const uint8_t colours[3][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    const int pictures = 60;
    int64_t soundFrames = 0;
    int blocks = 0;
    for (int i = 0; i < pictures; ++i) {
        const uint8_t* c = colours[i / 20];
        PushPaced(packer, PicturePacket(SolidPicture(640, 480, 4, c[0], c[1], c[2]), i, &pool));
        for (; soundFrames < (int64_t)(i + 1) * SOUND_SAMPLE_RATE / FPS; soundFrames += SOUND_BLOCK_FRAMES, ++blocks) {
            MMPacket block = SoundPacket(SineBlock(soundFrames, 440), &sound);
            block.timestamp = 999;  // not looked at
            packer.Push(&block);
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return packer.GetStats().soundEncoded == blocks; }));
    packer.Close();
    EXPECT_EQ(0, sound.Outstanding());
    std::vector<void*> taken;
    while (void* p = pool.Alloc(1))
        taken.push_back(p);
    EXPECT_EQ(4u, taken.size()) << "every pool block came back";
    for (void* p : taken)
        pool.Free(p);

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    ASSERT_EQ(2u, probe.Streams().size());
    const ProbeStream& video = probe.Streams()[0];
    const ProbeStream& audio = probe.Streams()[1];
    EXPECT_EQ(ProbeStream::VIDEO, video.kind);
    EXPECT_EQ(AV_CODEC_ID_MPEG4, video.codecId);
    EXPECT_EQ(640, video.width);
    EXPECT_EQ(480, video.height);
    EXPECT_EQ(FPS, video.frameRateNum / std::max(1, video.frameRateDen));
    EXPECT_EQ(ProbeStream::AUDIO, audio.kind);
    EXPECT_EQ(AV_CODEC_ID_AAC, audio.codecId);
    EXPECT_EQ(11025, audio.sampleRate);
    EXPECT_EQ(2, audio.channels);
    EXPECT_NEAR(2.4, probe.Duration(), 0.15);

    // Every picture, at its own frame number; key frames at least once a second.
    std::vector<int64_t> frames = FrameNumbers(probe, 0);
    ASSERT_EQ((size_t)pictures, frames.size());
    for (int i = 0; i < pictures; ++i)
        EXPECT_EQ(i, frames[i]);
    const std::vector<ProbePacket>& videoPackets = probe.Packets(0);
    EXPECT_TRUE(videoPackets[0].key);
    int sinceKey = 0;
    for (const ProbePacket& p : videoPackets) {
        sinceKey = p.key ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 25);
    }

    // Sound timestamps step by one AAC frame; all of it is there, end included.
    const std::vector<ProbePacket>& audioPackets = probe.Packets(1);
    ASSERT_GE(audioPackets.size(), (size_t)blocks);
    for (size_t i = 1; i < audioPackets.size(); ++i)
        EXPECT_EQ(1024, (audioPackets[i].pts - audioPackets[i - 1].pts) * audio.timeBaseNum * 11025 / audio.timeBaseDen);
    ProbeSound tone;
    ASSERT_EQ(0, probe.DecodeSound(1, &tone)) << probe.Error();
    EXPECT_GE(tone.Frames(), (int64_t)blocks * 1024);
    EXPECT_NEAR(440, tone.Frequency(0), 2);
    EXPECT_NEAR(440, tone.Frequency(1), 2);
    EXPECT_GT(tone.Rms(0, tone.Frames() - 2048, 1024), 0.2) << "the end of the recording kept its sound";

    std::vector<ProbePicture> decoded;
    ASSERT_EQ(0, probe.DecodePictures(0, &decoded)) << probe.Error();
    ASSERT_EQ((size_t)pictures, decoded.size());
    ExpectColour(decoded[10], 0, 0, 255);
    ExpectColour(decoded[30], 0, 255, 0);
    ExpectColour(decoded[59], 255, 0, 0);
}

TEST(AvPacker, WritesEachTimestampOnce) {
    TempDir dir;
    std::string path = dir.File("dup.mp4");
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), 64, 48, 24, 0, 64, 48, FPS));
    std::vector<uint8_t> grey = SolidPicture(64, 48, 3, 128, 128, 128);
    for (int64_t ts : {0, 1, 1, 2, 2, 5, 4, 6})
        PushPaced(packer, PicturePacket(grey, ts, nullptr));
    MMPacket shortPicture;
    shortPicture.Fill(grey.data(), 100, 9);  // less than a picture
    shortPicture.type = MMPacket::TYPE_VIDEO;
    PushPaced(packer, shortPicture);
    packer.Close();

    AvPacker::Stats stats = packer.GetStats();
    EXPECT_EQ(9, stats.picturesPushed);
    EXPECT_EQ(5, stats.picturesEncoded);
    EXPECT_EQ(4, stats.picturesSkipped);
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    EXPECT_EQ((std::vector<int64_t>{0, 1, 2, 5, 6}), FrameNumbers(probe, 0));
}

// While the packer is busy with one packet, two more pictures may wait and
// every sound block is kept; further pictures are released at Push.
TEST(AvPacker, KeepsTwoPicturesWaitingAndEverySoundBlock) {
    TempDir dir;
    std::string path = dir.File("admit.mp4");
    CountingAllocator memory;
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), 64, 48, 32, 0, 64, 48, FPS));
    std::vector<uint8_t> picture = SolidPicture(64, 48, 4, 50, 100, 150);

    ASSERT_TRUE(HoldPackerAfterFirstPicture(packer, memory, picture));

    for (int i = 1; i <= 5; ++i) {
        MMPacket p = PicturePacket(picture, i, &memory);
        packer.Push(&p);
        MMPacket s = SoundPacket(SineBlock((i - 1) * 1024, 440), &memory);
        packer.Push(&s);
    }
    EXPECT_EQ(3, memory.Frees()) << "pictures 3, 4 and 5 released at once, by the pushing thread";
    EXPECT_EQ(3, packer.GetStats().picturesRefused);

    memory.Let();
    ASSERT_TRUE(WaitUntil([&] { return packer.GetStats().soundEncoded == 5; }));
    packer.Close();
    EXPECT_EQ(0, memory.Outstanding());

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    EXPECT_EQ((std::vector<int64_t>{0, 1, 2}), FrameNumbers(probe, 0));
    ProbeSound sound;
    ASSERT_EQ(0, probe.DecodeSound(1, &sound)) << probe.Error();
    EXPECT_GE(sound.Frames(), 5 * 1024);
}

// Region captures at odd sizes, both bit depths, and a 4K screen whose
// pictures cannot fit a pool block and come from the heap.
TEST(AvPacker, RecordsOddSizesAndPicturesLargerThanAPoolBlock) {
    struct Case {
        int width, height, bits;
    };
    for (Case c : {Case{101, 57, 32}, Case{101, 57, 24}, Case{3840, 2160, 32}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.bits));
        TempDir dir;
        std::string path = dir.File("odd.mp4");
        int bytes = c.bits / 8;
        ASSERT_TRUE(c.width * c.height * bytes <= (int)MemPool::FRAME_BLOCK_SIZE || c.width > 1920);
        AvPacker packer;
        ASSERT_EQ(0, packer.Open(path.c_str(), c.width, c.height, c.bits, 0, c.width, c.height, FPS));
        for (int i = 0; i < 3; ++i) {
            // As a producer does it for a picture larger than a pool block:
            // a heap buffer, allocator none.
            size_t size = (size_t)c.width * c.height * bytes;
            uint8_t* buffer = new uint8_t[size];
            FillPicture(buffer, c.width, c.height, bytes, 200, 40, 90);
            MMPacket packet;
            packet.Attach(buffer, (int)size, i, true);
            packet.type = MMPacket::TYPE_VIDEO;
            PushPaced(packer, packet);
        }
        packer.Close();

        Mp4Probe probe;
        ASSERT_EQ(0, probe.Open(path)) << probe.Error();
        ASSERT_FALSE(probe.Streams().empty());
        EXPECT_EQ(c.width, probe.Streams()[0].width);
        EXPECT_EQ(c.height, probe.Streams()[0].height);
        EXPECT_EQ(3u, probe.Packets(0).size());
        std::vector<ProbePicture> decoded;
        ASSERT_EQ(0, probe.DecodePictures(0, &decoded, 1)) << probe.Error();
        ASSERT_EQ(1u, decoded.size());
        ExpectColour(decoded[0], 200, 40, 90);
    }
}

TEST(AvPacker, CloseInAnyStateReleasesEveryPacket) {
    TempDir dir;
    CountingAllocator memory;
    std::vector<uint8_t> picture = SolidPicture(64, 48, 4, 0, 0, 0);
    int threads = CountThreads();

    // Never opened: Close is harmless, Push just releases.
    {
        AvPacker unopened;
        unopened.Close();
        MMPacket p = PicturePacket(picture, 0, &memory);
        unopened.Push(&p);
        EXPECT_EQ(0, memory.Outstanding());
    }

    // Closed right after Open: a complete, empty file; twice is harmless.
    {
        std::string path = dir.File("empty.mp4");
        AvPacker packer;
        ASSERT_EQ(0, packer.Open(path.c_str(), 64, 48, 32, 0, 64, 48, FPS));
        packer.Close();
        packer.Close();
        MMPacket late = PicturePacket(picture, 0, &memory);
        packer.Push(&late);
        EXPECT_EQ(0, memory.Outstanding()) << "a packet pushed after Close is released";
        Mp4Probe probe;
        // Without a trailer there would be no index and the file would not open.
        ASSERT_EQ(0, probe.Open(path)) << probe.Error();
        EXPECT_TRUE(probe.Packets(0).empty());
        EXPECT_EQ(threads, CountThreads());
    }

    // Closed with packets queued: the producers have stopped, so what they
    // queued is the end of the recording and is written before the trailer.
    {
        std::string path = dir.File("queued.mp4");
        AvPacker packer;
        ASSERT_EQ(0, packer.Open(path.c_str(), 64, 48, 32, 0, 64, 48, FPS));
        ASSERT_TRUE(HoldPackerAfterFirstPicture(packer, memory, picture));
        for (int i = 1; i <= 2; ++i) {
            MMPacket p = PicturePacket(picture, i, &memory);
            packer.Push(&p);
        }
        for (int i = 0; i < 40; ++i) {
            MMPacket s = SoundPacket(SineBlock(0, 440), &memory);
            packer.Push(&s);
        }
        memory.Let();
        packer.Close();
        EXPECT_EQ(0, memory.Outstanding());
        EXPECT_EQ(0, packer.GetStats().packetsDiscarded);
        EXPECT_EQ(40, packer.GetStats().soundEncoded);
        Mp4Probe probe;
        ASSERT_EQ(0, probe.Open(path)) << probe.Error();
        EXPECT_EQ(3u, probe.Packets(0).size());
        ASSERT_EQ(2u, probe.Streams().size());
        ProbeSound sound;
        ASSERT_EQ(0, probe.DecodeSound(1, &sound));
        EXPECT_GE(sound.Frames(), 39 * 1024) << "the sound up to the stop is all there";
    }
    EXPECT_EQ(threads, CountThreads());
}
