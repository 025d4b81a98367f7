// vidloom:sanitize
// Cameras on the test camera, the V4L2 backend's pure parts, and a real camera where there is one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "capture/CameraCallback.h"
#include "capture/CameraCapture.h"
#include "capture/EnumerateCameras.h"
#include "os/OS_Clock.h"
#include "platform/CameraFormat.h"
#include "platform/testcam/TestCameraDevice.h"
#include "platform/testcam/TestCameraPattern.h"
#include "platform/v4l2/V4l2Device.h"
#include "platform/v4l2/V4l2FrameSizes.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/TestEnv.h"

namespace {

const std::string PATH = TestCameraDevice::PATH;

// Keeps each frame's number (read from its pixels), size and the last frame's bytes.
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
    size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return numbers.size();
    }
    bool WaitFor(size_t n) {
        return WaitUntil([&] { return Count() >= n; });
    }
};

std::string Fields(const CameraCapture& c) {
    return std::to_string(c.width) + "x" + std::to_string(c.height) + " " + std::to_string(c.bitCount) + " " +
           std::to_string(c.lineBytes) + " " + std::to_string(c.compression) + " " + std::to_string(c.fps);
}

class CameraCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VIDLOOM_TEST_CAMERA", "1", 1);
        TestCameraDevice::Reset();
    }

    LogCapture log;
    Frames frames;
};

}  // namespace

TEST_F(CameraCaptureTest, ListsMatchesAndOpensTheTestCameraInFormatsItCanTake) {
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
    EXPECT_TRUE(log.Contains("Camera: (640x480) ,bpp=16, nCompression=844715353 , nFps=30  \n"));
    EXPECT_EQ(0, capture.GetFrameRate(&fps));
    EXPECT_EQ(30, fps);
    EXPECT_TRUE(log.Contains("Get AvgTimePerFrame: 333333 \n"));
    // 640x480 twice (YUY2 first), 320x240 RGB24, 1280x720 MJPG only (the list: the settings dialog's test)
    std::vector<CameraCapability> caps;
    capture.EnumerateCapabilities(caps);
    std::string text = log.Text();
    size_t first = text.find("camera support:  640x480\n");
    EXPECT_NE(std::string::npos, text.find("camera support:  640x480\n", first + 1));

    unsetenv("VIDLOOM_TEST_CAMERA");
    EXPECT_EQ(0, EnumerateCameras(without));
    EXPECT_EQ(cameras.size() - 1, without.size());
    setenv("VIDLOOM_TEST_CAMERA", "1", 1);
    capture.Close();
    // a size opens the first listed format of it, never one it cannot take
    const struct { int w, h; const char* fields; } given[] = {
        {320, 240, "320x240 24 960 0 30"},            // RGB24
        {800, 600, "320x240 24 960 0 30"},            // not offered: the current format stays
        {640, 480, "640x480 16 1280 844715353 30"},   // offered twice: YUY2 wins
        {1280, 720, "640x480 16 1280 844715353 30"},  // MJPG only: the first we can take
    };
    for (auto& g : given) {
        CameraCapture sized;
        ASSERT_EQ(0, sized.Open(PATH, &frames, g.w, g.h));
        EXPECT_EQ(g.fields, Fields(sized)) << g.w;
    }
    // MJPEG left set by another program
    TestCameraDevice other;
    ASSERT_EQ(0, other.Open(PATH));
    ASSERT_EQ(0, other.SetFormat(CAMERA_FOURCC_MJPEG, 1280, 720));
    other.Close();
    CameraCapture afterMjpeg;
    ASSERT_EQ(0, afterMjpeg.Open(PATH, &frames, 0, 0));
    EXPECT_EQ("640x480 16 1280 844715353 30", Fields(afterMjpeg));
}

TEST_F(CameraCaptureTest, DeliversFramesInOrderNoneAfterStopOrAfterTheCameraVanished) {
    const int fds = CountOpenFds(), threads = CountThreads();
    CameraCapture* capture = new CameraCapture();
    ASSERT_EQ(0, capture->Open(PATH, &frames, 320, 240));
    frames.width = 320, frames.height = 240, frames.lineBytes = 960, frames.bitCount = 24;
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
    // the controls change the picture; a second Start counts again from 0
    std::vector<unsigned char> plain = frames.last;
    capture->SetPictureQuality(90, 0, 0);
    frames.numbers.clear();
    ASSERT_EQ(0, capture->Start());
    ASSERT_TRUE(frames.WaitFor(2));
    capture->Stop();
    EXPECT_EQ(0, frames.numbers[0]);
    EXPECT_NE(plain[200 * 960 + 900], frames.last[200 * 960 + 900]);
    // a vanishing camera ends delivery with one line, and stops and closes promptly
    ASSERT_EQ(0, capture->Start());
    ASSERT_TRUE(frames.WaitFor(frames.Count() + 3));
    TestCameraDevice::SetUnplugged(true);
    OS_Sleep(200);
    count = frames.Count();
    OS_Sleep(100);
    EXPECT_EQ(count, frames.Count());
    std::string text = log.Text();
    size_t line = text.find("vanished");
    ASSERT_NE(std::string::npos, line);
    EXPECT_EQ(std::string::npos, text.find("vanished", line + 1));
    int64_t stopping = OS_NowMs();
    EXPECT_EQ(0, capture->Stop());
    capture->Close();
    capture->Close();
    EXPECT_LT(OS_NowMs() - stopping, 1000);
    delete capture;
    EXPECT_EQ(fds, CountOpenFds());
    EXPECT_EQ(threads, CountThreads());
    // gone from the list and cannot be opened
    std::vector<CameraInfo> cameras;
    EnumerateCameras(cameras);
    EXPECT_TRUE(cameras.empty() || cameras[0].DevicePath != PATH);
    CameraCapture again;
    EXPECT_EQ(-1, again.Open(PATH, &frames, 0, 0));
}

// The pure parts of the camera layer: no device needed.
TEST(CameraLayer, FormatsFrameTimesControlsAndSizeRanges) {
    // no frame time or height is no crash
    int fps = -1;
    EXPECT_EQ(-1, RoundedFpsOfTimePerFrame(0, fps));
    EXPECT_EQ(0, FpsOfTimePerFrame(0) + LineBytesOf(614400, 0));
    // percent of a range with max = min, and of a very wide one
    int percent = 50;
    EXPECT_EQ(-1, ControlToPercent(5, 5, 5, percent));
    EXPECT_EQ(50, percent);
    EXPECT_EQ(0, ControlFromPercent(-2147483647, 2147483647, 50));
    // a stepped range offers the common sizes on its steps: not 960x540 (off-step) nor 1024x768
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
    unsetenv("VIDLOOM_TEST_CAMERA");
    std::vector<CameraInfo> cameras;
    if (EnumerateCameras(cameras) != 0 || cameras.empty())
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
