// vidloom:sanitize
// Cameras on the test camera: listing and exact path matching, sizes and
// formats, opening a size, the picture controls, frames in order at about 30
// a second, stopping, the camera vanishing, and nothing left after Close.
// Then the V4L2 backend's pure parts, and a real camera where there is one.
#include <gtest/gtest.h>

#include <glob.h>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "capture/CameraCallback.h"
#include "capture/CameraCapture.h"
#include "capture/EnumerateCameras.h"
#include "capture/FindCapability.h"
#include "os/OS_Clock.h"
#include "platform/CameraDevice.h"
#include "platform/CameraFormat.h"
#include "platform/testcam/TestCameraDevice.h"
#include "platform/testcam/TestCameraPattern.h"
#include "platform/v4l2/V4l2Device.h"
#include "platform/v4l2/V4l2FrameSizes.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

namespace {

const std::string PATH = TestCameraDevice::PATH;

// Keeps each frame's number (read from its pixels), size and the last
// frame's bytes. The format is set before the camera starts.
struct Frames : CameraCallback {
    std::mutex lock;
    int width = 0, height = 0, lineBytes = 0, bitCount = 0;
    std::vector<int64_t> numbers;
    std::vector<long> sizes;
    std::vector<unsigned char> last;

    int OnCameraFrame(double, unsigned char* data, long size) override {
        std::lock_guard<std::mutex> guard(lock);
        numbers.push_back(ReadTestCameraFrameNumber(data, width, height, lineBytes, bitCount));
        sizes.push_back(size);
        last.assign(data, data + size);
        return 0;
    }
    void Take(const CameraCapture& c) {
        width = c.width, height = c.height, lineBytes = c.lineBytes, bitCount = c.bitCount;
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return numbers.size();
    }
    // Waits for n frames; false after 10 s (a bound on a loaded machine).
    bool WaitFor(size_t n) {
        for (int64_t end = OS_NowMs() + 10000; Count() < n; OS_Sleep(5))
            if (OS_NowMs() > end)
                return false;
        return true;
    }
};

// The six format fields as one text: "WxH bitCount lineBytes compression fps".
std::string Fields(const CameraCapture& c) {
    char text[96];
    snprintf(text, sizeof text, "%dx%d %d %d %u %d", c.width, c.height, c.bitCount, c.lineBytes,
             c.compression, c.fps);
    return text;
}

class CameraCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VIDLOOM_TEST_CAMERA", "1", 1);
        TestCameraDevice::Reset();
    }
    void TearDown() override { TestCameraDevice::Reset(); }

    LogCapture log;
    Frames frames;
};

}  // namespace

TEST_F(CameraCaptureTest, ListsTheTestCameraMatchesItsPathExactlyAndListsEachSizeOnce) {
    std::vector<CameraInfo> cameras, without;
    ASSERT_EQ(0, EnumerateCameras(cameras));
    ASSERT_FALSE(cameras.empty());
    EXPECT_EQ(PATH, cameras[0].DevicePath);
    EXPECT_EQ(TestCameraDevice::NAME, cameras[0].FriendlyName);
    delete FindCameraMoniker(PATH);
    EXPECT_EQ(nullptr, FindCameraMoniker("VIDLOOM:TEST-CAMERA"));
    EXPECT_EQ(nullptr, FindCameraMoniker(PATH + " "));

    CameraCapture capture;
    EXPECT_EQ(-1, capture.Open("Vidloom:test-camera", &frames, 0, 0));
    EXPECT_TRUE(log.Contains("Camera: Failed to open moniker \n"));
    // a closed capture refuses everything and changes no output
    int fps = 7, b = 1;
    for (int result : {capture.Start(), capture.Stop(), capture.SetPictureQuality(50, 50, 50),
                       capture.GetFrameRate(&fps), capture.GetPictureQuality(&b, &b, &b)})
        EXPECT_EQ(-1, result);
    EXPECT_EQ(7, fps);

    // it opens in the format the camera has; each size is listed once
    ASSERT_EQ(0, capture.Open(PATH, &frames, 0, 0));
    EXPECT_EQ("640x480 16 1280 844715353 30", Fields(capture));
    EXPECT_TRUE(log.Contains("Camera: opening ... \n"));
    EXPECT_TRUE(log.Contains("Camera: (640x480) ,bpp=16, nCompression=844715353 , nFps=30  \n"));
    EXPECT_EQ(0, capture.GetFrameRate(&fps));
    EXPECT_EQ(30, fps);
    EXPECT_TRUE(log.Contains("Get AvgTimePerFrame: 333333 \n"));

    // 640x480 twice (YUY2 first), 320x240 RGB24, 1280x720 MJPG only
    std::vector<CameraCapability> caps;
    capture.EnumerateCapabilities(caps);
    std::string listed;
    for (const CameraCapability& cap : caps)
        listed += std::to_string(cap.width) + "x" + std::to_string(cap.height) + " " + cap.format + ",";
    EXPECT_EQ("640x480 YUY2,320x240 RGB24,1280x720 ,", listed);
    std::string text = log.Text();
    size_t first = text.find("camera support:  640x480\n");
    EXPECT_NE(std::string::npos, text.find("camera support:  640x480\n", first + 1));
    EXPECT_EQ(1, FindCapability(caps, 320, 240));
    EXPECT_EQ(-1, FindCapability(caps, 240, 320));

    unsetenv("VIDLOOM_TEST_CAMERA");
    EXPECT_EQ(0, EnumerateCameras(without));
    EXPECT_EQ(cameras.size() - 1, without.size());
}

TEST_F(CameraCaptureTest, OpensTheFirstListedFormatOfASizeAndNeverOneItCannotTake) {
    const char* given[][2] = {
        {"320x240", "320x240 24 960 0 30"},      // RGB24
        {"800x600", "320x240 24 960 0 30"},      // not offered: the current format stays
        {"640x480", "640x480 16 1280 844715353 30"},  // offered twice: YUY2 wins
        {"1280x720", "640x480 16 1280 844715353 30"}, // MJPG only: the first we can take
    };
    for (auto& g : given) {
        int w = 0, h = 0;
        sscanf(g[0], "%dx%d", &w, &h);
        CameraCapture capture;
        ASSERT_EQ(0, capture.Open(PATH, &frames, w, h));
        EXPECT_EQ(g[1], Fields(capture)) << g[0];
    }
    // MJPEG left set by another program
    TestCameraDevice other;
    ASSERT_EQ(0, other.Open(PATH));
    ASSERT_EQ(0, other.SetFormat(CAMERA_FOURCC_MJPEG, 1280, 720));
    other.Close();
    CameraCapture capture;
    ASSERT_EQ(0, capture.Open(PATH, &frames, 0, 0));
    EXPECT_EQ("640x480 16 1280 844715353 30", Fields(capture));
}

TEST_F(CameraCaptureTest, PictureQualityWorksInPercentOfEachRange) {
    CameraCapture capture;
    ASSERT_EQ(0, capture.Open(PATH, &frames, 0, 0));
    TestCameraDevice raw;  // reads the driver's values beside the capture
    ASSERT_EQ(0, raw.Open(PATH));
    auto controls = [&raw] {
        int v[3] = {};
        raw.GetControl(CAMERA_BRIGHTNESS, v[0]);
        raw.GetControl(CAMERA_CONTRAST, v[1]);
        raw.GetControl(CAMERA_SATURATION, v[2]);
        return std::to_string(v[0]) + " " + std::to_string(v[1]) + " " + std::to_string(v[2]);
    };
    // brightness -64..64: 50 percent is 0; 0 percent leaves a control alone
    ASSERT_EQ(0, raw.SetControl(CAMERA_BRIGHTNESS, 40));
    EXPECT_EQ(0, capture.SetPictureQuality(50, 0, 0));
    EXPECT_EQ("0 128 50", controls());
    int b = -1, c = -1, s = -1;
    EXPECT_EQ(0, capture.GetPictureQuality(&b, &c, &s));
    EXPECT_EQ("50 50 50", std::to_string(b) + " " + std::to_string(c) + " " + std::to_string(s));
    // contrast at 5 percent: min + (max - min) * 5 / 100
    EXPECT_EQ(0, capture.SetPictureQuality(0, 5, 99));
    EXPECT_EQ("0 12 99", controls());
}

TEST_F(CameraCaptureTest, DeliversFramesInOrderAndNoneAfterStop) {
    const int fds = CountOpenFds(), threads = CountThreads();
    CameraCapture* capture = new CameraCapture();
    ASSERT_EQ(0, capture->Open(PATH, &frames, 320, 240));
    frames.Take(*capture);
    int64_t started = OS_NowMs();
    ASSERT_EQ(0, capture->Start());
    ASSERT_TRUE(frames.WaitFor(31));
    int64_t elapsed = OS_NowMs() - started;
    ASSERT_EQ(0, capture->Stop());
    size_t count = frames.Count();
    OS_Sleep(100);
    EXPECT_EQ(count, frames.Count());  // none after Stop returned

    // about 30 a second, numbered 0, 1, 2 ... with whole frames
    EXPECT_GE(elapsed, 900);
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(int64_t(i), frames.numbers[i]);
        ASSERT_EQ(320 * 240 * 3, frames.sizes[i]);
    }
    // top rows differ from bottom rows: upside down there is no code to read
    std::vector<unsigned char> flipped(frames.last.size());
    for (int y = 0; y < 240; ++y)
        std::copy_n(&frames.last[size_t(y) * 960], 960, &flipped[size_t(239 - y) * 960]);
    EXPECT_EQ(-1, ReadTestCameraFrameNumber(flipped.data(), 320, 240, 960, 24));

    // the controls change the picture; a second Start counts again from 0
    std::vector<unsigned char> plain = frames.last;
    capture->SetPictureQuality(90, 0, 0);
    frames.numbers.clear();
    ASSERT_EQ(0, capture->Start());
    ASSERT_TRUE(frames.WaitFor(2));
    capture->Stop();
    EXPECT_EQ(0, frames.numbers[0]);
    EXPECT_NE(plain[200 * 960 + 900], frames.last[200 * 960 + 900]);

    capture->Close();
    capture->Close();
    delete capture;
    EXPECT_EQ(fds, CountOpenFds());
    EXPECT_EQ(threads, CountThreads());
}

TEST_F(CameraCaptureTest, AVanishingCameraEndsDeliveryWithOneLine) {
    CameraCapture capture;
    ASSERT_EQ(0, capture.Open(PATH, &frames, 0, 0));
    frames.Take(capture);
    ASSERT_EQ(0, capture.Start());
    ASSERT_TRUE(frames.WaitFor(3));
    TestCameraDevice::SetUnplugged(true);
    OS_Sleep(200);
    size_t count = frames.Count();
    OS_Sleep(100);
    EXPECT_EQ(count, frames.Count());

    std::string text = log.Text();
    size_t line = text.find("vanished");
    ASSERT_NE(std::string::npos, line);
    EXPECT_EQ(std::string::npos, text.find("vanished", line + 1));
    int64_t started = OS_NowMs();
    EXPECT_EQ(0, capture.Stop());
    capture.Close();
    EXPECT_LT(OS_NowMs() - started, 1000);

    // gone from the list and cannot be opened
    std::vector<CameraInfo> cameras;
    EnumerateCameras(cameras);
    EXPECT_TRUE(cameras.empty() || cameras[0].DevicePath != PATH);
    CameraCapture again;
    EXPECT_EQ(-1, again.Open(PATH, &frames, 0, 0));
}

// The pure parts of the camera layer: no device needed.
TEST(CameraLayer, FormatsFrameTimesControlsAndSizeRanges) {
    std::string formats;
    for (uint32_t f : {CAMERA_FOURCC_YUYV, CAMERA_FOURCC_BGR24, CAMERA_FOURCC_XBGR32, CAMERA_FOURCC_BGR32,
                       CAMERA_FOURCC_MJPEG})
        formats += CameraFormatName(f) + ("/" + std::to_string(CameraFormatBitCount(f))) + "/" +
                   std::to_string(CameraFormatCompression(f)) + ",";
    EXPECT_EQ("YUY2/16/844715353,RGB24/24/0,RGB32/32/0,RGB32/32/0,/0/0,", formats);

    // 666666 gives 15 both ways; no frame time or height is no crash
    int fps = -1;
    EXPECT_EQ(0, RoundedFpsOfTimePerFrame(666666, fps));
    EXPECT_EQ(15, fps);
    EXPECT_EQ(15, FpsOfTimePerFrame(666666));
    EXPECT_EQ(-1, RoundedFpsOfTimePerFrame(0, fps));
    EXPECT_EQ(0, FpsOfTimePerFrame(0) + LineBytesOf(614400, 0));

    // percent of a range, also of one with max = min, and of a very wide one
    int percent = -1;
    EXPECT_EQ(127, ControlFromPercent(0, 255, 50));
    EXPECT_EQ(0, ControlToPercent(0, 255, 128, percent));
    EXPECT_EQ(-1, ControlToPercent(5, 5, 5, percent));
    EXPECT_EQ(50, percent);
    EXPECT_EQ(0, ControlFromPercent(-2147483647, 2147483647, 50));

    // a range of sizes offers the common ones on its steps: 960x540 is off
    // the height steps, 1024x768 too tall
    std::vector<std::pair<int, int>> sizes, expected = {{320, 240}, {352, 288}, {640, 360},
                                                         {640, 480}, {800, 600}, {1280, 720}};
    ListSteppedSizes(320, 1280, 16, 240, 720, 8, sizes);
    EXPECT_EQ(expected, sizes);
    sizes.clear();
    ListSteppedSizes(1, 200, 0, 1, 200, 0, sizes);  // continuous
    EXPECT_EQ(2u, sizes.size());

    // a node that opens but is no camera: the failed open keeps nothing
    const int fds = CountOpenFds();
    V4l2Device notACamera;
    EXPECT_EQ(-1, notACamera.Open("/dev/null"));
    EXPECT_EQ(fds, CountOpenFds());
}

// A real camera, where the machine has one.
TEST(V4l2Camera, OpensStreamsAndClosesTheFirstCamera) {
    glob_t nodes;
    bool any = glob("/dev/video*", 0, nullptr, &nodes) == 0;
    globfree(&nodes);
    unsetenv("VIDLOOM_TEST_CAMERA");
    std::vector<CameraInfo> cameras;
    if (!any || EnumerateCameras(cameras) != 0 || cameras.empty())
        GTEST_SKIP() << "no video capture device at /dev/video*: the V4L2 device test needs a camera";
    Frames frames;
    CameraCapture capture;
    ASSERT_EQ(0, capture.Open(cameras[0].DevicePath, &frames, 0, 0));
    std::vector<CameraCapability> caps;
    capture.EnumerateCapabilities(caps);
    EXPECT_FALSE(caps.empty());
    ASSERT_EQ(0, capture.Start());
    EXPECT_TRUE(frames.WaitFor(3));
    EXPECT_EQ(0, capture.Stop());
}
