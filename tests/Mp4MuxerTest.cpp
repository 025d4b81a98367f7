// The FFmpeg wrappers on their own: picture conversion (known colours at odd
// sizes, nothing read past a picture) and short sound blocks. The MP4
// writer is read back through the packer's tests.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "media/AudioFrameHolder.h"
#include "media/VideoFrameScaler.h"
#include "tests/support/MediaSamples.h"

namespace {

// A picture buffer that ends exactly where an unreadable page begins, so
// reading one byte past it crashes.
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

}  // namespace

TEST(VideoFrameScaler, ConvertsKnownColoursAtOddSizes) {
    // Pure red in studio-range BT.601 is Y 82, U 90, V 240, up to the last
    // row and column, and whatever the width no byte past the picture is read.
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
