// vidloom:sanitize
// The packer thread end to end, the MP4 read back with FFmpeg; files that cannot be made, full disks.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <unistd.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media/AvPacker.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

namespace {

const int FPS = 25;
const int VIDEO = MMPacket::TYPE_VIDEO;
const int AUDIO = MMPacket::TYPE_AUDIO;

// A picture's time: the start of its frame period, shifted within it (still the same frame).
int64_t FrameUs(int64_t frame) { return frame * RecordingFormat::FRAME_PERIOD_US - (frame % 3) * 6000; }

// Pushes a picture and waits until the packer has handled it, so that the admission rule never drops one.
void PushPaced(AvPacker& packer, MMPacket packet) {
    AvPacker::Stats before = packer.GetStats();
    packer.Push(&packet);
    ASSERT_TRUE(WaitUntil([&] {
        AvPacker::Stats s = packer.GetStats();
        return s.picturesEncoded + s.picturesSkipped + s.picturesFailed + s.packetsDiscarded >
               before.picturesEncoded + before.picturesSkipped + before.picturesFailed + before.packetsDiscarded;
    }));
}

// A stream as one line, to compare in one check.
std::string Describe(const ProbeStream& s) {
    if (s.kind == ProbeStream::VIDEO)
        return "video " + s.codecName + " " + std::to_string(s.width) + "x" + std::to_string(s.height);
    return "audio " + s.codecName + " " + std::to_string(s.sampleRate) + " Hz " + std::to_string(s.channels) + " ch";
}

// Video packet timestamps as frame numbers of the 1/25 time base.
std::vector<int64_t> FrameNumbers(const Mp4Probe& probe) {
    const ProbeStream& s = probe.Streams()[0];
    std::vector<int64_t> frames;
    for (const ProbePacket& p : probe.Packets(0)) {
        EXPECT_EQ(0, p.pts * s.timeBaseNum * FPS % s.timeBaseDen) << "pts " << p.pts << " is not on a 1/25 s step";
        frames.push_back(p.pts * s.timeBaseNum * FPS / s.timeBaseDen);
    }
    return frames;
}

void ExpectColour(const ProbePicture& picture, int blue, int green, int red) {
    double b, g, r;
    picture.Average(0, 0, picture.width, picture.height, &b, &g, &r);
    EXPECT_NEAR(blue, b, 8);
    EXPECT_NEAR(green, g, 8);
    EXPECT_NEAR(red, r, 8);
}

// A tmpfs mounted on a folder for one test.
struct Tmpfs {
    Tmpfs(const std::string& dir, const std::string& options) : dir(dir) {
        int status = -1;
        output = RunCommand("mount -t tmpfs -o " + options + " vidloom-test '" + dir + "' 2>&1", &status);
        mounted = status == 0;
    }
    ~Tmpfs() {
        if (mounted)
            RunCommand("umount '" + dir + "'");
    }
    std::string dir, output;
    bool mounted;
};

// Counts descriptors and threads at its start; Check says none is left over, nor any packet.
struct LeakCheck {
    CountingAllocator memory;
    int fds = CountOpenFds();
    int threads = CountThreads();

    void Check() {
        EXPECT_EQ(0, memory.Outstanding());
        EXPECT_EQ(fds, CountOpenFds());
        EXPECT_EQ(threads, CountThreads());
    }
};

// Open must fail with its log line, leave nothing behind, and still take packets and Close twice.
void ExpectOpenFails(const std::string& path, uint32_t fourcc, const char* line) {
    SCOPED_TRACE(path);
    LogCapture log;
    LeakCheck leaks;
    {
        AvPacker packer;
        EXPECT_EQ(-1, packer.Open(path.c_str(), 64, 48, 32, fourcc, 64, 48, FPS));
        EXPECT_TRUE(log.Contains(line)) << log.Text();
        MMPacket p = MakePacket(VIDEO, SolidPicture(64, 48, 4, 1, 2, 3), 0, &leaks.memory);
        packer.Push(&p);
        packer.Close();
        packer.Close();
    }
    leaks.Check();
    EXPECT_NE(0, access(path.c_str(), F_OK)) << "no file left behind";
}

}  // namespace

// A screen recording: pictures at 25 per second with a steady tone, plus pictures the packer must skip.
TEST(AvPacker, WritesBothStreamsAsSpecified) {
    TempDir dir;
    std::string path = dir.File("rec.mp4");
    CountingAllocator memory;
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), 640, 480, 32, 0, 640, 480, FPS));

    // 60 pictures, a third each red, green, blue; sound to match 2.4 s
    const uint8_t colours[3][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    const int pictures = 60;
    int blocks = 0;
    for (int i = 0; i < pictures; ++i) {
        const uint8_t* c = colours[i / 20];
        std::vector<uint8_t> picture = SolidPicture(640, 480, 4, c[0], c[1], c[2]);
        PushPaced(packer, MakePacket(VIDEO, picture, FrameUs(i), &memory));
        if (i % 10 == 5) {
            // the same frame again, an older one, and one short of a whole picture
            PushPaced(packer, MakePacket(VIDEO, picture, FrameUs(i), &memory));
            PushPaced(packer, MakePacket(VIDEO, picture, FrameUs(i - 1), &memory));
            picture.resize(100);
            PushPaced(packer, MakePacket(VIDEO, picture, FrameUs(i + 1), &memory));
        }
        for (; blocks * SOUND_BLOCK_FRAMES < (i + 1) * SOUND_SAMPLE_RATE / FPS; ++blocks) {
            MMPacket block =
                MakePacket(AUDIO, SineBlock(blocks * SOUND_BLOCK_FRAMES, 440), SoundUs(blocks * 1024), &memory);
            packer.Push(&block);
        }
    }
    packer.Close();
    EXPECT_EQ(18, packer.GetStats().picturesSkipped);
    EXPECT_EQ(0, memory.Outstanding());

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    ASSERT_EQ(2u, probe.Streams().size());
    EXPECT_EQ("video mpeg4 640x480", Describe(probe.Streams()[0]));
    EXPECT_EQ("audio aac 11025 Hz 2 ch", Describe(probe.Streams()[1]));
    EXPECT_NEAR(2.4, probe.Duration(), 0.15);

    // every picture once, at its own frame number; key frames at least once a second
    std::vector<int64_t> expected(pictures);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(expected, FrameNumbers(probe));
    int sinceKey = 25;  // the first picture must be a key frame
    for (const ProbePacket& p : probe.Packets(0)) {
        sinceKey = p.key ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 25);
    }

    // sound timestamps step by one AAC frame; all of it is there, the end included (the encoder was drained)
    const ProbeStream& audio = probe.Streams()[1];
    const std::vector<ProbePacket>& audioPackets = probe.Packets(1);
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

// While the packer is busy, two more pictures may wait and every sound block is kept; further pictures
// are released at Push. What was queued at the stop is written, and the file finished, in the background.
TEST(AvPacker, KeepsTwoPicturesWaitingAndWritesTheQueueAtClose) {
    TempDir dir;
    std::string path = dir.File("admit.mp4");
    CountingAllocator memory;
    AvPacker packer;
    ASSERT_EQ(0, packer.Open(path.c_str(), 64, 48, 32, 0, 64, 48, FPS));
    std::vector<uint8_t> picture = SolidPicture(64, 48, 4, 50, 100, 150);

    // hold the packer thread in the release of picture 0: until Let() the queue only fills
    memory.HoldNextFree();
    MMPacket first = MakePacket(VIDEO, picture, FrameUs(0), &memory);
    packer.Push(&first);
    ASSERT_TRUE(memory.WaitHeld()) << "the packer never took the first picture";
    const int blocks = 40;
    for (int i = 0; i < blocks; ++i) {
        if (i < 5) {
            MMPacket p = MakePacket(VIDEO, picture, FrameUs(i + 1), &memory);
            packer.Push(&p);
        }
        MMPacket s = MakePacket(AUDIO, SineBlock(i * 1024, 440), SoundUs(i * 1024), &memory);
        packer.Push(&s);
    }
    EXPECT_EQ(3, packer.GetStats().picturesRefused);
    EXPECT_EQ(3, memory.Frees()) << "pictures 3, 4 and 5 released at once, by the pushing thread";

    // the stop returns at once, the thread still being held
    int64_t start = OS_NowMs();
    packer.BeginClose();
    EXPECT_LT(OS_NowMs() - start, 50);
    EXPECT_FALSE(packer.IsFinished());
    MMPacket late = MakePacket(AUDIO, SineBlock(0, 440), 0, &memory);
    packer.Push(&late);
    memory.Let();
    ASSERT_TRUE(WaitUntil([&] { return packer.IsFinished(); }));
    EXPECT_EQ(blocks, packer.GetStats().soundEncoded) << "a block pushed after the stop is not taken";
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    packer.Close();
    EXPECT_EQ(0, memory.Outstanding());
    EXPECT_EQ((std::vector<int64_t>{0, 1, 2}), FrameNumbers(probe));
    ProbeSound sound;
    ASSERT_EQ(0, probe.DecodeSound(1, &sound)) << probe.Error();
    EXPECT_GE(sound.Frames(), (blocks - 1) * 1024) << "the sound up to the stop is all there";
}

// Odd sizes, both bit depths, a 4K screen (pictures from the heap, not the pool), and a recording
// closed right after Open, which is still a complete (empty) file.
TEST(AvPacker, RecordsAnySizeAndClosesCleanly) {
    int threads = CountThreads();
    CountingAllocator memory;
    // as screen mode does: the 4K recording takes the encoder made ahead, the others make their own
    ASSERT_EQ(0, AvPacker::Prepare(RecordingFormat::CODEC_MPEG4, 3840, 2160, FPS));
    for (std::vector<int> c : {std::vector<int>{101, 57, 4, 3}, {101, 57, 3, 3}, {3840, 2160, 4, 3}, {64, 48, 4, 0}}) {
        int width = c[0], height = c[1], bytes = c[2], pictures = c[3];
        std::string size = std::to_string(width) + "x" + std::to_string(height);
        SCOPED_TRACE(size + "x" + std::to_string(bytes));
        TempDir dir;
        std::string path = dir.File("size.mp4");
        AvPacker packer;
        ASSERT_EQ(0, packer.Open(path.c_str(), width, height, bytes * 8, 0, width, height, FPS));
        EXPECT_EQ(width == 3840, packer.TookPrepared());
        std::vector<uint8_t> picture = SolidPicture(width, height, bytes, 200, 40, 90);
        for (int i = 0; i < pictures; ++i)
            PushPaced(packer, MakePacket(VIDEO, picture, FrameUs(i), nullptr));
        packer.Close();
        packer.Close();
        MMPacket late = MakePacket(VIDEO, picture, FrameUs(pictures), &memory);
        packer.Push(&late);
        EXPECT_EQ(0, memory.Outstanding()) << "a packet pushed after Close is released";

        // without a trailer there would be no index and the file would not open
        Mp4Probe probe;
        ASSERT_EQ(0, probe.Open(path)) << probe.Error();
        ASSERT_EQ((size_t)pictures, probe.Packets(0).size());
        if (pictures == 0)
            continue;
        EXPECT_EQ("video mpeg4 " + size, Describe(probe.Streams()[0]));
        std::vector<ProbePicture> decoded;
        ASSERT_EQ(0, probe.DecodePictures(0, &decoded)) << probe.Error();
        ASSERT_EQ((size_t)pictures, decoded.size());
        ExpectColour(decoded[0], 200, 40, 90);
    }
    AvPacker::DropPrepared();
    EXPECT_EQ(threads, CountThreads()) << "no encoder's threads left behind";
}

namespace {

// A sound source as the packer sees it: silence but for a 60 ms 1 kHz beep at BEEP_S, captured at
// CaptureSeconds(frame) on the recording clock, reaching the packer in bursts burstMs apart (0: as captured).
struct SoundSource {
    const char* name;
    double startS;     // first sample captured
    double speed;      // source clock / real clock
    double stallAtS;   // a 2 s stall of the source here (0: none)
    int burstMs;
    double silenceS;   // added after the start
    double wildAtS;    // the block captured here is dated 10 s ahead (0: none)

    double CaptureSeconds(int64_t frame) const {
        double t = startS + frame / (SOUND_SAMPLE_RATE * speed);
        return stallAtS > 0 && t >= stallAtS ? t + 2.0 : t;
    }
};

const double RECORDING_S = 30.0;
const double BEEP_S = 25.0;

std::vector<uint8_t> BeepBlock(const SoundSource& source, int64_t firstFrame) {
    std::vector<uint8_t> block(SOUND_BLOCK_FRAMES * 4, 0);
    int16_t* samples = reinterpret_cast<int16_t*>(block.data());
    for (int i = 0; i < SOUND_BLOCK_FRAMES; ++i) {
        double t = source.CaptureSeconds(firstFrame + i) - BEEP_S;
        if (t >= 0 && t < 0.06)
            samples[2 * i] = samples[2 * i + 1] = (int16_t)std::lround(16384.0 * std::sin(2 * M_PI * 1000 * t));
    }
    return block;
}

}  // namespace

// Sound is placed by its capture time: a late start and a stall are filled with silence, a fast clock
// is trimmed, bursts change nothing; a beep lands where it was captured, the sound ends with the pictures.
TEST(AvPacker, PlacesSoundByItsCaptureTime) {
    const SoundSource sources[] = {
        // the last burst comes 0.25 s before the stop: the end is silence
        {"steady, in 1.75 s bursts", 0.0, 1.0, 0, 1750, RECORDING_S - 320 * 1024 / 11025.0, 0},
        {"starts 1.5 s late", 1.5, 1.0, 0, 0, 0, 0},
        {"stalls 2 s at 10 s", 0.0, 1.0, 10.0, 0, 2.0, 0},
        {"clock 0.2 % fast", 0.0, 1.002, 0, 0, 0, 0},
        // neither 10 s of silence nor, after it, 10 s of real sound trimmed
        {"one block dated 10 s ahead", 0.0, 1.0, 0, 0, 0, 12.0},
    };
    std::vector<uint8_t> picture = SolidPicture(64, 48, 4, 10, 20, 30);
    for (const SoundSource& source : sources) {
        SCOPED_TRACE(source.name);
        TempDir dir;
        std::string path = dir.File("sync.mp4");
        AvPacker packer;
        ASSERT_EQ(0, packer.Open(path.c_str(), 64, 48, 32, 0, 64, 48, FPS));
        int64_t frame = 0;
        for (int n = 0; n <= RECORDING_S * FPS; ++n) {
            // the late sound source comes with a first picture 0.2 s late
            if (n < RECORDING_S * FPS && (n >= 5 || source.startS == 0))
                PushPaced(packer, MakePacket(VIDEO, picture, FrameUs(n), nullptr));
            // the blocks captured by now, or by the last burst; all at the stop
            double now = source.burstMs           ? (n * 40 / source.burstMs) * source.burstMs / 1000.0
                         : n == RECORDING_S * FPS ? RECORDING_S
                                                  : n * 0.04;
            for (; source.CaptureSeconds(frame + SOUND_BLOCK_FRAMES) <= now; frame += SOUND_BLOCK_FRAMES) {
                double s = source.CaptureSeconds(frame);
                if (source.wildAtS > 0 && s <= source.wildAtS && source.wildAtS < s + 1024 / 11025.0)
                    s += 10.0;
                MMPacket block = MakePacket(AUDIO, BeepBlock(source, frame), (int64_t)std::floor(s * 1e6), nullptr);
                packer.Push(&block);
            }
        }
        packer.Close();
        EXPECT_NEAR(source.silenceS, packer.GetStats().soundSilence / 11025.0, 0.1) << "the end: up to a block";
        EXPECT_NEAR(RECORDING_S * (1 - 1 / source.speed), packer.GetStats().soundTrimmed / 11025.0, 0.03);

        Mp4Probe probe;
        ASSERT_EQ(0, probe.Open(path)) << probe.Error();
        ProbeSound sound;
        ASSERT_EQ(0, probe.DecodeSound(1, &sound)) << probe.Error();
        const std::vector<ProbePacket>& pictures = probe.Packets(0);
        ASSERT_FALSE(pictures.empty());
        EXPECT_EQ(0, pictures.front().pts) << "the first picture shows from the start";
        // a first picture 0.2 s late also fills the periods before it
        std::vector<int64_t> frames = FrameNumbers(probe);
        for (size_t i = 0; i < frames.size(); ++i)
            ASSERT_EQ((int64_t)i, frames[i]) << "a picture every period from the start";
        EXPECT_EQ(0, sound.firstPts) << "the sound track starts with the pictures";
        EXPECT_NEAR(probe.Streams()[0].ToSeconds(pictures.back().pts + pictures.back().duration),
                    (double)sound.Frames() / 11025, 0.1) << "sound and picture lengths";
        int64_t onset = 0;
        while (onset < sound.Frames() && std::fabs(sound.samples[onset * 2]) < 0.25)
            ++onset;
        EXPECT_NEAR(BEEP_S, (double)onset / 11025, 0.04) << "the beep's place";
    }
}

TEST(AvPackerFaults, OpenFailsCleanlyWhenTheFileCannotBeMade) {
    TempDir dir;
    std::string regularFile = dir.File("not-a-folder");
    WriteFileText(regularFile, "x");
    ExpectOpenFails(dir.File("missing/rec.mp4"), 0, "failed to create mp4 muxer!");
    // root ignores a folder's mode: a path below a regular file, or on a read-only disk, stops anyone
    ExpectOpenFails(regularFile + "/rec.mp4", 0, "failed to create mp4 muxer!");
    // a camera format the packer cannot convert ('M','J','P','G'): refused before any file is made
    ExpectOpenFails(dir.File("mjpg.mp4"), 0x47504A4D, "failed to create video frame scaler");
    Tmpfs readOnly(dir.Path(), "ro,size=64k");
    if (!readOnly.mounted)
        GTEST_SKIP() << "cannot mount a read-only tmpfs here (" << readOnly.output << ")";
    ExpectOpenFails(dir.File("rec.mp4"), 0, "failed to create mp4 muxer!");
}

// A full disk ends the writing: the failure is told with its cause, only what was written is
// counted, and the file holds, whole, the pictures before the failure.
TEST(AvPackerFaults, DiskFullStopsTheWritingAndKeepsTheFileWhole) {
    TempDir dir;
    Tmpfs small(dir.Path(), "size=4m");
    if (!small.mounted)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << small.output << ")";
    LogCapture log;
    LeakCheck leaks;
    int64_t encoded = 0;
    {
        AvPacker packer;
        ASSERT_EQ(0, packer.Open(dir.File("full.mp4").c_str(), 640, 480, 32, 0, 640, 480, FPS));
        // noise pictures are large: 4 MiB hold some two dozen
        std::mt19937 random(7);
        std::vector<uint8_t> picture(640 * 480 * 4);
        for (int i = 0; i < 75; ++i) {
            std::generate(picture.begin(), picture.end(), [&] { return (uint8_t)random(); });
            MMPacket s = MakePacket(AUDIO, SineBlock(i * 1024, 440), SoundUs(i * 1024), &leaks.memory);
            packer.Push(&s);
            PushPaced(packer, MakePacket(VIDEO, picture, FrameUs(i), &leaks.memory));
        }
        EXPECT_EQ(AVERROR(ENOSPC), packer.Failure());
        packer.Close();
        encoded = packer.GetStats().picturesEncoded;
        EXPECT_GT(encoded, 5);
        EXPECT_LT(encoded, 70) << "counted only what was written";
        EXPECT_GT(packer.GetStats().packetsDiscarded, 0) << "nothing encoded after the failure";
    }
    EXPECT_TRUE(log.Contains("failed to write video frame to file!\n")) << log.Text();
    leaks.Check();
    // the fragments before the failure play
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(dir.File("full.mp4"))) << probe.Error();
    std::vector<ProbePicture> pictures;
    ASSERT_EQ(0, probe.DecodePictures(probe.FindStream(ProbeStream::VIDEO), &pictures));
    EXPECT_GE((int64_t)pictures.size(), 5);
    EXPECT_LE((int64_t)pictures.size(), encoded);
}
