// The FFmpeg wrappers on their own: picture conversion and short sound blocks (the MP4 writer: AvPackerTest).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "media/AudioFrameHolder.h"
#include "media/VideoFrameScaler.h"
#include "tests/support/MediaSamples.h"

namespace {

// A picture buffer that ends exactly where an unreadable page begins: reading past it crashes.
class GuardedPicture {
public:
    explicit GuardedPicture(size_t size) : m_size(size), m_page((size_t)sysconf(_SC_PAGESIZE)) {
        m_mapped = (size + m_page - 1) / m_page * m_page + m_page;
        m_base = (uint8_t*)mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mprotect(m_base + m_mapped - m_page, m_page, PROT_NONE);
    }
    ~GuardedPicture() { munmap(m_base, m_mapped); }
    uint8_t* Data() { return m_base + m_mapped - m_page - m_size; }

private:
    size_t m_size, m_page, m_mapped;
    uint8_t* m_base;
};

// The largest difference between frame and swscale's conversion of the same BGR0 picture, all planes.
int DifferenceFromSwscale(const std::vector<uint8_t>& picture, int width, int height, int flags,
                          const AVFrame* frame) {
    AVFrame* ref = av_frame_alloc();
    ref->format = AV_PIX_FMT_YUV420P;
    ref->width = width;
    ref->height = height;
    av_frame_get_buffer(ref, 0);
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, AV_PIX_FMT_YUV420P,
                                     flags | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    std::vector<uint8_t> padded(picture);
    padded.resize(picture.size() + 64);  // swscale may read past the last row
    const uint8_t* src[4] = {padded.data()};
    int stride[4] = {width * 4};
    sws_scale(sws, src, stride, 0, height, ref->data, ref->linesize);
    int worst = 0;
    for (int plane = 0; plane < 3; ++plane) {
        int w = plane ? (width + 1) / 2 : width, h = plane ? (height + 1) / 2 : height;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                worst = std::max(worst, std::abs(frame->data[plane][y * frame->linesize[plane] + x] -
                                                 ref->data[plane][y * ref->linesize[plane] + x]));
    }
    sws_freeContext(sws);
    av_frame_free(&ref);
    return worst;
}

}  // namespace

TEST(VideoFrameScaler, ScreenPicturesMatchSwscaleWithinTwoLevels) {
    srand(7);
    // Even sizes: random pixels against swscale's area filter (2 x 2 chroma averages). Odd sizes: one
    // colour per 2 x 2 block plus a grey per pixel (luma alone), so any chroma filter gives the block's.
    for (auto [width, height, blocks] :
         {std::tuple{16, 8, false}, {64, 48, false}, {640, 360, false}, {1, 1, true}, {101, 57, true}, {3, 5, true}}) {
        std::vector<uint8_t> picture((size_t)width * height * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &picture[((size_t)y * width + x) * 4];
                uint32_t block = (uint32_t)((y / 2) * 7919 + x / 2 + 1) * 2654435761u;
                int grey = rand() % 56;
                for (int c = 0; c < 4; ++c)
                    p[c] = c < 3 && blocks ? (uint8_t)((block >> (8 * c)) % 200 + grey) : (uint8_t)rand();
            }
        VideoFrameScaler scaler;
        ASSERT_EQ(0, scaler.Init(width, height, 0, 32, width, height));
        AVFrame* frame = scaler.Scale(picture.data(), 0);
        ASSERT_NE(nullptr, frame);
        int flags = !blocks ? SWS_AREA : SWS_POINT | (width % 2 ? SWS_FULL_CHR_H_INP : 0);
        EXPECT_LE(DifferenceFromSwscale(picture, width, height, flags, frame), 2) << width << " x " << height;
    }
}

TEST(VideoFrameScaler, ConvertsKnownColoursAtOddSizes) {
    // Red in studio-range BT.601 is Y 82, U 90, V 240 up to the last row and column; nothing read past.
    const int height = 57;
    for (int bytes : {3, 4})
        for (int width : {1, 3, 101, 1365, 1366}) {
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(bytes));
            VideoFrameScaler scaler;
            ASSERT_EQ(0, scaler.Init(width, height, 0, bytes * 8, width, height));
            GuardedPicture picture(scaler.PictureSize());
            memcpy(picture.Data(), SolidPicture(width, height, bytes, 0, 0, 255).data(), scaler.PictureSize());
            AVFrame* frame = scaler.Scale(picture.Data(), 0);
            ASSERT_NE(nullptr, frame);
            const int right = width - 1, bottom = height - 1;
            EXPECT_NEAR(82, frame->data[0][0], 2);
            EXPECT_NEAR(82, frame->data[0][bottom * frame->linesize[0] + right], 2);
            EXPECT_NEAR(90, frame->data[1][bottom / 2 * frame->linesize[1] + right / 2], 2);
            EXPECT_NEAR(240, frame->data[2][right / 2], 2);
            EXPECT_NEAR(240, frame->data[2][bottom / 2 * frame->linesize[2] + right / 2], 2);
        }

    // packed 4:2:2 camera pictures: Y U Y V
    const uint8_t yuyv[] = {200, 100, 200, 150};
    VideoFrameScaler scaler;
    ASSERT_EQ(0, scaler.Init(64, 48, VideoFrameScaler::FOURCC_YUY2, 16, 64, 48));
    std::vector<uint8_t> picture(64 * 48 * 2);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = yuyv[i % 4];
    AVFrame* frame = scaler.Scale(picture.data(), 0);
    ASSERT_NE(nullptr, frame);
    EXPECT_NEAR(200, frame->data[0][10], 1);
    EXPECT_NEAR(100, frame->data[1][10], 1);
    EXPECT_NEAR(150, frame->data[2][10], 1);
}

TEST(AudioFrameHolder, RefusesABlockShortOfAFrame) {
    AudioFrameHolder holder;
    ASSERT_EQ(0, holder.Init(2));
    std::vector<uint8_t> block = SineBlock(0, 440);
    EXPECT_NE(nullptr, holder.Wrap(block.data(), (int)block.size(), 0));
    EXPECT_EQ(nullptr, holder.Wrap(block.data(), (int)block.size() - 1, 0)) << "it would be read past its end";
}
