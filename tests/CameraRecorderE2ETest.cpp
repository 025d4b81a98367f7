// The real program in camera mode with the test camera, driven on the test X server. The test
// camera writes its frame number into the picture's top rows: the file shows which pictures came.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "capture/PictureOps.h"
#include "os/OS_Clock.h"
#include "platform/x11/X11CloseRequest.h"
#include "platform/testcam/TestCameraPattern.h"
#include "tests/support/AppDriver.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/SoundCheck.h"
#include "tests/support/TestEnv.h"

namespace {

const char* kCameraWindow = "^摄像头录像$";
// The sound list, in window coordinates (the layout and style sheet fix it).
const int kSoundListX = 168, kSoundListY = 289;

class CameraRecorderE2E : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        REQUIRE_PULSE();
        setenv("VIDLOOM_TEST_CAMERA", "1", 1);
    }
    void TearDown() override {
        unsetenv("VIDLOOM_TEST_CAMERA");
        unsetenv("VIDLOOM_TEST_CAMERA_VANISH_AFTER");
    }

    // Starts the program with `config` as default.cfg and enters camera
    // mode; the id of the window that opens (the camera window).
    std::string StartCameraWindow(const std::string& config = "camera.reverse=0\n",
                                  const char* windowName = kCameraWindow) {
        EXPECT_EQ(0, app.Install(dir.Path()));
        WriteFileText(dir.File("default.cfg"), config);
        std::string window = app.Enter(windowName, true);
        EXPECT_NE("", window) << app.Log();
        return window;
    }

    TempDir dir;
    AppDriver app;
};

// Checks a camera recording of about `seconds`: size, length, the camera's frames in order.
void CheckCameraRecording(const std::string& path, double seconds, bool reversed) {
    Mp4Probe probe;
    EXPECT_EQ(0, probe.Open(path)) << probe.Error();
    int v = probe.FindStream(ProbeStream::VIDEO);
    std::vector<ProbePicture> pictures;
    if (v < 0 || probe.DecodePictures(v, &pictures) != 0 || pictures.empty()) {
        ADD_FAILURE() << "no pictures in " << path;
        return;
    }
    const ProbeStream& stream = probe.Streams()[v];
    EXPECT_EQ(640, stream.width);
    EXPECT_EQ(480, stream.height);
    const std::vector<ProbePacket>& packets = probe.Packets(v);
    double span = stream.ToSeconds(packets.back().pts + packets.back().duration - packets.front().pts);
    EXPECT_NEAR(seconds, span, 0.6);
    EXPECT_GE(packets.size(), 0.95 * span * 25) << "pictures written of those expected";

    // The camera's frame numbers (30 a second) rise through the file; a
    // reversed picture carries its code at the bottom.
    int64_t last = -1;
    int readable = 0;
    int64_t first = -1;  // the first picture also fills the periods before it
    for (ProbePicture& picture : pictures) {
        if (reversed) {
            EXPECT_EQ(-1, ReadTestCameraFrameNumber(picture.bgra.data(), 640, 480, 640 * 4, 32));
            FlipRows(picture.bgra.data(), 640 * 4, 480);
        }
        int64_t number = ReadTestCameraFrameNumber(picture.bgra.data(), 640, 480, 640 * 4, 32);
        if (number < 0)
            continue;
        ++readable;
        if (first < 0)
            first = number;
        else if (number == first && last == first)
            continue;
        EXPECT_GT(number, last) << "camera frames in order, none twice";
        last = number;
    }
    EXPECT_GE(readable, (int)pictures.size() * 9 / 10);
    // The upper half is orange, the lower blue (after turning back).
    double blue, green, red, blue2, green2, red2;
    pictures[pictures.size() / 2].Average(0, 40, 640, 180, &blue, &green, &red);
    pictures[pictures.size() / 2].Average(0, 280, 640, 180, &blue2, &green2, &red2);
    EXPECT_GT(red, blue + 60) << "orange at the top";
    EXPECT_GT(blue2, red2 + 60) << "blue at the bottom";
}

}  // namespace

TEST_F(CameraRecorderE2E, RecordsTheCameraWithTheMicrophoneMixedWithTheStereoMix) {
    // The microphone plays 1000 Hz; the stereo mix (the test sink's monitor)
    // 440 Hz. The sound list's last entry is the newest source.
    std::string module = RunCommand(
        "pactl load-module module-sine-source source_name=vidloom_mic_1k rate=11025 frequency=1000");
    ASSERT_NE("", module);
    std::string window = StartCameraWindow();
    ASSERT_NE("", window);

    app.Click(window, kSoundListX, kSoundListY);
    OS_Sleep(500);
    app.Key("Down Down Return");  // "默认麦克风+立体声"
    OS_Sleep(500);
    int64_t start = OS_NowMs();
    app.Key("F3");
    OS_Sleep(6000);
    app.Key("F4");
    double seconds = (OS_NowMs() - start) / 1000.0;
    std::string path = app.WaitOutputFile();
    RunCommand("pactl unload-module " + module);
    ASSERT_NE("", path) << app.Log();
    EXPECT_NE(std::string::npos, path.find("/output/摄像头-")) << path;
    CheckCameraRecording(path, seconds, false);
    EXPECT_NE(std::string::npos, app.Log().find("Start stereo capture")) << app.Log();

    ExpectMicrophoneAndMixTones(path, seconds);
    EXPECT_TRUE(app.HasWindow(kCameraWindow));
}

TEST_F(CameraRecorderE2E, ReverseTurnsThePictureAndClosingFinishesTheRecording) {
    std::string window = StartCameraWindow("camera.reverse=1\n");
    ASSERT_NE("", window);
    app.Key("F3");
    OS_Sleep(3000);
    ASSERT_EQ(0, X11RequestClose(std::stoul(window)));
    EXPECT_EQ(0, app.WaitExit(15000)) << app.Log();
    std::string path = app.NewestOutput();
    ASSERT_EQ(1, app.OutputCount()) << app.Log();
    CheckCameraRecording(path, 3.0, true);
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path));
    int audio = probe.FindStream(ProbeStream::AUDIO);
    EXPECT_TRUE(audio < 0 || probe.Packets(audio).empty()) << "no sound chosen";
}

TEST_F(CameraRecorderE2E, CameraVanishingMidRecordingEndsItWithAMessageAndAWholeFile) {
    // Unplugged 3 s after the camera starts (30 frames a second).
    setenv("VIDLOOM_TEST_CAMERA_VANISH_AFTER", "90", 1);
    std::string window = StartCameraWindow();
    ASSERT_NE("", window);
    app.Key("F3");
    std::string error = app.WaitWindow("^错误$", 10000);
    ASSERT_NE("", error) << "the recording ended with a message\n" << app.Log();
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(app.WaitOutputFile())) << probe.Error() << "\n" << app.Log();
    EXPECT_GE(probe.Packets(0).size(), 25u);
    EXPECT_NE(std::string::npos, app.Log().find("the camera is gone")) << app.Log();
    app.Dismiss(error);
    // Still answers: F4 does nothing, a recording without pictures starts and stops, then the
    // window closes normally.
    app.Key("F4");
    app.Key("F3");
    OS_Sleep(1000);
    app.Key("F4");
    OS_Sleep(1000);
    ASSERT_EQ(0, X11RequestClose(std::stoul(window)));
    EXPECT_EQ(0, app.WaitExit(15000)) << app.Log();
}

TEST_F(CameraRecorderE2E, WithoutACameraItSaysSoAndEnds) {
    unsetenv("VIDLOOM_TEST_CAMERA");
    std::string error = StartCameraWindow("camera.reverse=0\n", "^错误$");
    ASSERT_NE("", error);
    app.Dismiss(error);
    EXPECT_EQ(0, app.WaitExit()) << app.Log();
    EXPECT_FALSE(app.HasWindow(kCameraWindow));
}
