// The FFmpeg wrappers on their own: picture conversion, sound frames and the
// MP4 writer, read back with FFmpeg's demuxer and decoders.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "media/AudioFrameHolder.h"
#include "media/ImageConverter.h"
#include "media/Mp4Muxer.h"
#include "media/VideoFrameScaler.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

namespace {

const uint32_t FOURCC_MJPG = 0x47504A4D;  // 'M','J','P','G' in memory

AudioStreamParams StereoAac() {
    AudioStreamParams audio;
    audio.sampleRate = 11025;
    audio.channels = 2;
    audio.codecId = AV_CODEC_ID_AAC;
    audio.bitRate = 64000;
    audio.frameSize = 1024;
    return audio;
}

// A picture buffer that ends exactly where an unreadable page begins, so
// reading one byte past it crashes.
class GuardedPicture {
public:
    explicit GuardedPicture(size_t size) : m_size(size) {
        size_t page = (size_t)sysconf(_SC_PAGESIZE);
        m_mapped = (size + page - 1) / page * page + page;
        m_base = (uint8_t*)mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mprotect(m_base + m_mapped - page, page, PROT_NONE);
    }
    ~GuardedPicture() { munmap(m_base, m_mapped); }
    uint8_t* Data() { return m_base + m_mapped - (size_t)sysconf(_SC_PAGESIZE) - m_size; }

private:
    size_t m_size;
    size_t m_mapped;
    uint8_t* m_base;
};

}  // namespace

TEST(VideoFrameScaler, PicksSourceFormatsAndRefusesOthers) {
    EXPECT_EQ(AV_PIX_FMT_BGR24, VideoFrameScaler::SourceFormat(0, 24));
    EXPECT_EQ(AV_PIX_FMT_BGRA, VideoFrameScaler::SourceFormat(0, 32));
    EXPECT_EQ(AV_PIX_FMT_RGB24, VideoFrameScaler::SourceFormat(0, 16));
    // YUY2 whatever the bit count says.
    EXPECT_EQ(AV_PIX_FMT_YUYV422, VideoFrameScaler::SourceFormat(VideoFrameScaler::FOURCC_YUY2, 32));
    EXPECT_EQ(-1, VideoFrameScaler::SourceFormat(FOURCC_MJPG, 24));

    VideoFrameScaler scaler;
    EXPECT_EQ(-1, scaler.Init(640, 480, FOURCC_MJPG, 24, 640, 480));
    EXPECT_EQ(nullptr, scaler.Scale(SolidPicture(640, 480, 3, 0, 0, 0).data(), 0)) << "not usable after a failed Init";
    scaler.Free();
    scaler.Free();
}

TEST(VideoFrameScaler, ConvertsKnownColoursAtOddSizes) {
    // Pure red in studio-range BT.601: Y 82, U 90, V 240.
    for (int bytes : {3, 4}) {
        SCOPED_TRACE(bytes);
        VideoFrameScaler scaler;
        ASSERT_EQ(0, scaler.Init(101, 57, 0, bytes * 8, 101, 57));
        EXPECT_EQ(101 * 57 * bytes, scaler.PictureSize());
        std::vector<uint8_t> red = SolidPicture(101, 57, bytes, 0, 0, 255);
        AVFrame* frame = scaler.Scale(red.data(), -3);
        ASSERT_NE(nullptr, frame);
        EXPECT_EQ(AV_PIX_FMT_YUV420P, frame->format);
        EXPECT_EQ(-3, frame->pts) << "pts keeps its sign";
        EXPECT_NEAR(82, frame->data[0][0], 2);
        EXPECT_NEAR(82, frame->data[0][56 * frame->linesize[0] + 100], 2) << "last row and column converted";
        EXPECT_NEAR(90, frame->data[1][0], 2);
        EXPECT_NEAR(240, frame->data[2][28 * frame->linesize[2] + 50], 2);
        // The same frame is reused for the next picture.
        std::vector<uint8_t> white = SolidPicture(101, 57, bytes, 255, 255, 255);
        EXPECT_EQ(frame, scaler.Scale(white.data(), 1));
        EXPECT_NEAR(235, frame->data[0][0], 2);
    }

    // Nothing past the picture is read, whatever its width.
    for (int bytes : {3, 4})
        for (int width : {1, 3, 101, 1365, 1366}) {
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(bytes));
            VideoFrameScaler scaler;
            ASSERT_EQ(0, scaler.Init(width, 7, 0, bytes * 8, width, 7));
            GuardedPicture picture(scaler.PictureSize());
            FillPicture(picture.Data(), width, 7, bytes, 0, 0, 255);
            AVFrame* frame = scaler.Scale(picture.Data(), 0);
            ASSERT_NE(nullptr, frame);
            int last = (width - 1) / 2;
            EXPECT_NEAR(240, frame->data[2][3 * frame->linesize[2] + last], 2) << "bottom right keeps its colour";
            EXPECT_NEAR(240, frame->data[2][last], 2) << "top right keeps its colour";
        }

    // Packed 4:2:2 camera pictures: Y U Y V.
    VideoFrameScaler yuy2;
    ASSERT_EQ(0, yuy2.Init(64, 48, VideoFrameScaler::FOURCC_YUY2, 16, 64, 48));
    std::vector<uint8_t> picture(64 * 48 * 2);
    for (size_t i = 0; i < picture.size(); i += 4) {
        picture[i] = 200;
        picture[i + 1] = 100;
        picture[i + 2] = 200;
        picture[i + 3] = 150;
    }
    AVFrame* frame = yuy2.Scale(picture.data(), 0);
    ASSERT_NE(nullptr, frame);
    EXPECT_NEAR(200, frame->data[0][10], 1);
    EXPECT_NEAR(100, frame->data[1][10], 1);
    EXPECT_NEAR(150, frame->data[2][10], 1);
}

TEST(ImageConverter, ConvertsIntoItsOwnBuffer) {
    ImageConverter converter;
    EXPECT_EQ(nullptr, converter.Convert(nullptr));
    ASSERT_EQ(0, converter.Init(101, 57, AV_PIX_FMT_BGRA, AV_PIX_FMT_BGR24));
    EXPECT_EQ(101 * 57 * 3, converter.BufferSize());
    std::vector<uint8_t> picture = SolidPicture(101, 57, 4, 10, 120, 230);
    const uint8_t* out = converter.Convert(picture.data());
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(out, converter.Convert(picture.data())) << "one buffer, reused";
    for (size_t at : {(size_t)0, (size_t)(101 * 57 - 1) * 3}) {
        EXPECT_NEAR(10, out[at], 1);
        EXPECT_NEAR(120, out[at + 1], 1);
        EXPECT_NEAR(230, out[at + 2], 1);
    }
    converter.Free();
    converter.Free();
    EXPECT_EQ(-1, converter.Init(0, 0, AV_PIX_FMT_BGRA, AV_PIX_FMT_BGR24));
}

TEST(AudioFrameHolder, WrapsBlocksWithoutCopying) {
    AudioFrameHolder holder;
    EXPECT_EQ(-1, holder.Init(3));
    ASSERT_EQ(0, holder.Init(2));
    std::vector<uint8_t> block = SineBlock(0, 440);
    AVFrame* frame = holder.Wrap(block.data(), (int)block.size(), 77);
    ASSERT_NE(nullptr, frame);
    EXPECT_EQ(block.data(), frame->data[0]);
    EXPECT_EQ(1024, frame->nb_samples);
    EXPECT_EQ(2, frame->ch_layout.nb_channels);
    EXPECT_EQ(77, frame->pts);
    EXPECT_EQ(nullptr, holder.Wrap(block.data(), 4095, 0)) << "a short block would be read past its end";
}

TEST(Mp4Muxer, WritesAudioOnlyFileAndDrainsTheEncoder) {
    TempDir dir;
    std::string path = dir.File("sound.mp4");
    Mp4Muxer muxer;
    EXPECT_EQ(-1, muxer.EncodeAudio(nullptr)) << "not open";
    ASSERT_EQ(0, muxer.Open(path.c_str(), VideoStreamParams(), StereoAac()));
    AudioFrameHolder holder;
    ASSERT_EQ(0, holder.Init(2));
    const int blocks = 20;
    for (int i = 0; i < blocks; ++i) {
        std::vector<uint8_t> block = SineBlock((int64_t)i * 1024, 440);
        EXPECT_LE(0, muxer.EncodeAudio(holder.Wrap(block.data(), (int)block.size(), (int64_t)i * 1024)));
    }
    EXPECT_EQ(-1, muxer.EncodeVideo(nullptr)) << "no video stream";
    muxer.Close();
    muxer.Close();

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    ASSERT_EQ(1u, probe.Streams().size());
    EXPECT_EQ(AV_CODEC_ID_AAC, probe.Streams()[0].codecId);
    ProbeSound sound;
    ASSERT_EQ(0, probe.DecodeSound(0, &sound)) << probe.Error();
    // Without draining, the encoder's last frames (the end of the
    // recording) would be missing.
    EXPECT_GE(sound.Frames(), blocks * 1024);
    EXPECT_NEAR(440, sound.Frequency(0), 2);
    EXPECT_GT(sound.Rms(1, (blocks - 1) * 1024, 1024), 0.2) << "the last block is there";
}

TEST(Mp4Muxer, OpenFailuresLogAndReleaseEverything) {
    LogCapture log;
    int fds = CountOpenFds();
    VideoStreamParams video;
    video.width = 64;
    video.height = 48;
    video.bitRate = 1500000;
    video.codecId = AV_CODEC_ID_MPEG4;
    video.timeBaseNum = 1;
    video.timeBaseDen = 25;

    Mp4Muxer missingFolder;
    EXPECT_EQ(-1, missingFolder.Open("/nonexistent-vidloom/out.mp4", video, StereoAac()));
    EXPECT_TRUE(log.Contains("failed to open ts file to write \n")) << log.Text();
    missingFolder.Close();

    AudioStreamParams noEncoder = StereoAac();
    noEncoder.codecId = AV_CODEC_ID_APE;  // decoder only
    TempDir dir;
    Mp4Muxer muxer;
    EXPECT_EQ(-1, muxer.Open(dir.File("a.mp4").c_str(), video, noEncoder));
    EXPECT_TRUE(log.Contains("mux: failed to open audio stream!\n")) << log.Text();

    VideoStreamParams badSize = video;
    badSize.width = 0;
    EXPECT_EQ(-1, muxer.Open(dir.File("b.mp4").c_str(), badSize, StereoAac()));
    EXPECT_TRUE(log.Contains("mux: failed to open video codec for encoder!\n")) << log.Text();

    EXPECT_EQ(-1, muxer.Open(dir.File("no-extension").c_str(), video, StereoAac())) << "no container for the name";
    EXPECT_EQ(fds, CountOpenFds());
}
