// The newest stream picture kept for the capture thread: pixel orders, padded rows, the region,
// a stream that changes size, and the cursor drawn from the stream's metadata.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "capture/LatestFrame.h"
#include "tests/support/FramePool.h"

namespace {

// A w x h picture of one colour (r, g, b) in pixels' order, rows stride bytes apart.
std::vector<uint8_t> Fill(StreamPixels pixels, int w, int h, int stride, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> data((size_t)stride * h, 0xEE);  // padding that must not show
    bool rgb = pixels == StreamPixels::RGBX || pixels == StreamPixels::RGBA || pixels == StreamPixels::RGB;
    int bpp = (pixels == StreamPixels::RGB || pixels == StreamPixels::BGR) ? 3 : 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &data[(size_t)y * stride + x * bpp];
            p[0] = rgb ? r : b;
            p[1] = g;
            p[2] = rgb ? b : r;
        }
    return data;
}

// Blue, green, red of pixel (x, y) of a BGRx picture w wide.
std::vector<int> Bgr(const std::vector<uint8_t>& p, int w, int x, int y) {
    const uint8_t* q = &p[((size_t)y * w + x) * 4];
    return {q[0], q[1], q[2]};
}

}  // namespace

TEST(LatestFrame, PixelOrdersPaddedRowsRegionAndResize) {
    InitFramePool();
    for (StreamPixels pixels : {StreamPixels::BGRX, StreamPixels::RGBA, StreamPixels::RGB, StreamPixels::BGR}) {
        LatestFrame frame;
        ASSERT_EQ(0, frame.Open(0, 0, 0, 0));
        std::vector<uint8_t> out(8 * 4 * 4);
        EXPECT_EQ(-1, frame.Grab(out.data(), (int)out.size())) << "nothing before the first picture";
        std::vector<uint8_t> data = Fill(pixels, 8, 4, 40, 10, 20, 30);
        frame.Put(StreamPicture{data.data(), 8, 4, 40, pixels});
        ASSERT_EQ(0, frame.Grab(out.data(), (int)out.size()));
        EXPECT_EQ((std::vector<int>{30, 20, 10}), Bgr(out, 8, 7, 3)) << (int)pixels;
        EXPECT_EQ(-1, frame.Grab(out.data(), 16)) << "a wrong size";
    }
    // the region is cut in stream pixels, and follows the stream when it doubles in size
    LatestFrame frame;
    ASSERT_EQ(0, frame.Open(4, 0, 4, 2));
    std::vector<uint8_t> data = Fill(StreamPixels::BGRX, 8, 4, 32, 0, 0, 0);
    data[4 * 4 + 2] = 200;  // (4, 0) red: the region's first pixel
    frame.Put(StreamPicture{data.data(), 8, 4, 32, StreamPixels::BGRX});
    std::vector<uint8_t> out(4 * 2 * 4);
    ASSERT_EQ(0, frame.Grab(out.data(), (int)out.size()));
    EXPECT_EQ((std::vector<int>{0, 0, 200}), Bgr(out, 4, 0, 0));
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Bgr(out, 4, 1, 0));
    std::vector<uint8_t> big = Fill(StreamPixels::RGBX, 16, 8, 64, 0, 0, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 8; x < 16; ++x)
            big[(size_t)y * 64 + x * 4 + 1] = 100;  // the region's part green, scaled down to 4 x 2
    frame.Put(StreamPicture{big.data(), 16, 8, 64, StreamPixels::RGBX});
    ASSERT_EQ(0, frame.Grab(out.data(), (int)out.size()));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ((std::vector<int>{0, 100, 0}), Bgr(out, 4, x, 1));
    EXPECT_EQ(2, frame.PicturesPut());
}

TEST(LatestFrame, CursorFromMetadataIsDrawnWhereThePointerIs) {
    MemPool& pool = InitFramePool();
    int freeBlocks = FreePoolBlocks(pool);
    LatestFrame frame;
    ASSERT_EQ(0, frame.Open(2, 0, 6, 4));
    std::vector<uint8_t> data = Fill(StreamPixels::BGRX, 8, 4, 32, 0, 0, 0);
    frame.Put(StreamPicture{data.data(), 8, 4, 32, StreamPixels::BGRX});
    const uint32_t white[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    frame.PutCursor(StreamCursor{true, 4, 2, 1, 1, 2, 2, white});
    std::vector<uint8_t> out(6 * 4 * 4);
    ASSERT_EQ(0, frame.Grab(out.data(), (int)out.size()));
    // stream (4, 2) less the hot spot is (3, 1), in the region (1, 1)
    EXPECT_EQ((std::vector<int>{255, 255, 255}), Bgr(out, 6, 1, 1));
    EXPECT_EQ((std::vector<int>{255, 255, 255}), Bgr(out, 6, 2, 2));
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Bgr(out, 6, 0, 0));
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Bgr(out, 6, 3, 3));
    // a move keeps the image; hidden draws nothing
    frame.PutCursor(StreamCursor{true, 6, 3, 0, 0, 0, 0, nullptr});
    ASSERT_EQ(0, frame.Grab(out.data(), (int)out.size()));
    EXPECT_EQ((std::vector<int>{255, 255, 255}), Bgr(out, 6, 3, 2));
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Bgr(out, 6, 1, 1));
    frame.PutCursor(StreamCursor{false, 0, 0, 0, 0, 0, 0, nullptr});
    ASSERT_EQ(0, frame.Grab(out.data(), (int)out.size()));
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Bgr(out, 6, 3, 2));

    // taken pictures: the block itself, then on a still screen the same picture again with the
    // cursor moved and nothing left where it was; every block goes back
    frame.PutCursor(StreamCursor{true, 4, 2, 0, 0, 0, 0, nullptr});
    uint8_t* first = (uint8_t*)frame.Take((int)out.size());
    ASSERT_TRUE(first);
    frame.PutCursor(StreamCursor{true, 6, 3, 0, 0, 0, 0, nullptr});
    uint8_t* again = (uint8_t*)frame.Take((int)out.size());
    ASSERT_TRUE(again && again != first);
    std::vector<uint8_t> repeated(again, again + out.size());
    EXPECT_EQ((std::vector<int>{255, 255, 255}), Bgr(repeated, 6, 3, 2));
    EXPECT_EQ((std::vector<int>{0, 0, 0}), Bgr(repeated, 6, 1, 1));
    // nothing moved: that block once more, not a copy
    frame.PutCursor(StreamCursor{true, 6, 3, 0, 0, 0, 0, nullptr});
    EXPECT_EQ(again, frame.Take((int)out.size()));
    frame.Blocks().Free(first);
    frame.Blocks().Free(again);
    frame.Blocks().Free(again);
    frame.Close();
    EXPECT_EQ(freeBlocks, FreePoolBlocks(pool));
}
