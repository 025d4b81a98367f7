// The real program, driven as a user would drive it on the test X server:
// "进入", F3/F4, the bar's buttons; its recordings read back with FFmpeg.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "os/OS_Clock.h"
#include <QApplication>
#include <QImage>
#include <QWidget>

#include "platform/x11/X11CloseRequest.h"
#include "platform/x11/X11Ping.h"
#include "tests/support/AppDriver.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/SoundCheck.h"
#include "tests/support/TestEnv.h"

namespace {

const char* kWorkMode = "^Quorvex$";
const char* kBar = "^桌面录像$";
// Centres of the bar's controls, in bar coordinates (the layout and style sheet fix them).
const int kSoundListX = 200, kModeListX = 299, kChooseX = 360, kExitX = 518, kControlsY = 30;

// A picture from the middle of the recording, and how many it holds.
int MiddlePicture(const std::string& path, ProbePicture* picture) {
    Mp4Probe probe;
    if (probe.Open(path) != 0)
        return -1;
    std::vector<ProbePicture> pictures;
    if (probe.DecodePictures(probe.FindStream(ProbeStream::VIDEO), &pictures) != 0 || pictures.empty())
        return -1;
    *picture = pictures[pictures.size() / 2];
    return (int)pictures.size();
}

// Runs ffprobe on a file; its compact output.
std::string Ffprobe(const std::string& args, const std::string& path) {
    return RunCommand("ffprobe -v error " + args + " -of compact=p=0:nk=1 '" + path + "'");
}

// SIGSTOPs the private sound server for one scope: it accepts connections but answers nothing.
struct StoppedSoundServer {
    StoppedSoundServer() : pid(RunCommand(std::string("pgrep -f '[s]ocket=") + getenv("PULSE_RUNTIME_PATH") + "/native'")) {
        RunCommand("kill -STOP " + pid);
    }
    ~StoppedSoundServer() { RunCommand("kill -CONT " + pid); }
    std::string pid;
};

// Pings a window for ms: the slowest answer, which must come within 0.3 s (-1: none within 2 s).
void ExpectAnswers(const std::string& window, int ms, const char* moment) {
    int slowest = 0;
    for (int64_t end = OS_NowMs() + ms; OS_NowMs() < end && slowest >= 0; OS_Sleep(50)) {
        int answer = X11Ping(std::stoul(window), 2000);
        slowest = answer < 0 ? -1 : std::max(slowest, answer);
    }
    EXPECT_GE(slowest, 0) << "no answer " << moment;
    EXPECT_LT(slowest, 300) << moment;
}

class ScreenRecorderE2E : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        REQUIRE_PULSE();
        // "默认麦克风": the monitor of the tone's sink delivers steadily (the sine source in bursts).
        RunCommand(std::string("pactl set-default-source ") + getenv("VIDLOOM_TEST_SINK") + ".monitor");
    }

    void TearDown() override {
        if (getenv("VIDLOOM_TEST_SINK"))
            RunCommand(std::string("pactl set-source-mute ") + getenv("VIDLOOM_TEST_SINK") + ".monitor 0");
        if (getenv("VIDLOOM_TEST_SINE_SOURCE"))
            RunCommand(std::string("pactl set-default-source ") + getenv("VIDLOOM_TEST_SINE_SOURCE"));
    }

    // Installs and starts the program and enters screen recording: the bar's id.
    std::string StartRecorder(bool withOutput = true) {
        EXPECT_EQ(0, app.Install(dir.Path(), withOutput));
        std::string bar = app.Enter(kBar);
        EXPECT_NE("", bar) << app.Log();
        return bar;
    }

    // Picks "窗口" ("Down") or "区域" ("Down Down") in the mode list, which opens its chooser.
    void ChooseMode(const std::string& bar, const std::string& downs) {
        app.Click(bar, kModeListX, kControlsY);
        OS_Sleep(500);
        app.Key(downs + " Return");
        OS_Sleep(1500);
    }

    // Record() while this process keeps its test windows painted; `during` runs before F4.
    std::string RecordWhileShowing(int ms, const std::function<void()>& during = nullptr) {
        app.Key("F3");
        ProcessEventsFor(ms);
        if (during)
            during();
        app.Key("F4");
        return app.WaitOutputFile();
    }

    TempDir dir;
    AppDriver app;
};

}  // namespace

TEST_F(ScreenRecorderE2E, RecordsTheWholeScreenWithSoundBetweenF3AndF4) {
    ASSERT_NE("", StartRecorder());
    app.Key("F4");  // idle: only shows the bar
    OS_Sleep(300);
    EXPECT_TRUE(app.HasWindow(kBar));
    EXPECT_EQ(0, app.OutputCount());
    int64_t start = OS_NowMs();
    app.Key("F3");
    OS_Sleep(300);
    app.Key("F3");  // ignored while recording
    OS_Sleep(3700);
    EXPECT_FALSE(app.HasWindow(kBar)) << "the bar hides while recording";
    app.Key("F4");
    double seconds = (OS_NowMs() - start) / 1000.0;
    std::string path = app.WaitOutputFile();
    ASSERT_NE("", path) << app.Log();
    EXPECT_EQ(1, app.OutputCount());
    EXPECT_NE(std::string::npos, path.find("/output/屏幕录像-")) << path;
    EXPECT_NE("", app.WaitWindow(kBar, 5000)) << "F4 brings the bar back";

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    const ProbeStream& stream = probe.Streams()[0];
    const std::vector<ProbePacket>& video = probe.Packets(0);
    ASSERT_GE(video.size(), 2u);
    for (const ProbePacket& packet : video) {
        double frame = stream.ToSeconds(packet.pts) * 25;
        ASSERT_NEAR(frame, std::round(frame), 0.01) << "pictures sit on the 25 per second grid";
    }
    double end = stream.ToSeconds(video.back().pts + video.back().duration);
    EXPECT_NEAR(seconds, end - stream.ToSeconds(video.front().pts), 0.5);
    // The first picture is shown from 0, whenever it came: count from the second. A period can be
    // lost when the X server, starved by other work on the machine, answers a grab late.
    EXPECT_GE(video.size() - 1, 0.98 * (end - stream.ToSeconds(video[1].pts)) * 25)
        << "pictures written of those expected";
    ProbeSound sound;
    ASSERT_EQ(0, probe.DecodeSound(1, &sound));
    EXPECT_NEAR(seconds, (double)sound.Frames() / sound.sampleRate, 0.5);
    EXPECT_NEAR(440.0, sound.Frequency(0), 5.0) << "the test tone comes through";

    // A second copy refuses and leaves the first one running.
    TempDir otherDir;
    AppDriver second;
    ASSERT_EQ(0, second.Install(otherDir.Path()));
    ASSERT_EQ(0, second.Launch());
    std::string notice = second.WaitWindow("^提示$");
    ASSERT_NE("", notice) << second.Log();
    second.Dismiss(notice);
    EXPECT_EQ(255, second.WaitExit()) << "exit code -1\n" << second.Log();
    EXPECT_TRUE(app.HasWindow(kBar));

    // SIGTERM in the middle of a recording ends the program normally and finishes the file.
    app.Key("F3");
    OS_Sleep(2500);
    app.Kill(SIGTERM);
    EXPECT_EQ(0, app.WaitExit(15000)) << app.Log();
    ASSERT_EQ(2, app.OutputCount());
    ASSERT_EQ(0, probe.Open(app.NewestOutput())) << probe.Error() << "\n" << app.Log();
    EXPECT_GT(probe.Packets(0).size(), 25u);
}

TEST_F(ScreenRecorderE2E, A4kScreenFillsEveryPeriod) {
    // Four times the pixels of 1080p: with over two runnable threads per core the packer waits periods for one.
    double load = std::atof(ReadFileText("/proc/loadavg").c_str());
    if (load > 2 * sysconf(_SC_NPROCESSORS_ONLN))
        GTEST_SKIP() << "machine overloaded (load " << load << ")";
    PrivateXServer server;
    ASSERT_TRUE(server.Start("3840x2160x24"));
    ScopedEnv display("DISPLAY", server.display());
    ASSERT_NE("", StartRecorder());
    EXPECT_EQ("vidloom\n", app.ProcessName()) << "restarted for large pages under its own name";
    std::string path = app.Record(5000);  // the encoder's warm-up takes up to 2 s on a busy machine
    ASSERT_NE("", path) << app.Log();
    // the pictures still queued at F4 are written before the file is finished
    for (int64_t end = OS_NowMs() + 30000; app.Log().find("packer: closed") == std::string::npos && OS_NowMs() < end;)
        OS_Sleep(200);

    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    const ProbeStream& stream = probe.Streams()[0];
    EXPECT_EQ(3840, stream.width);
    EXPECT_EQ(2160, stream.height);
    const std::vector<ProbePacket>& video = probe.Packets(0);
    ASSERT_GE(video.size(), 50u) << app.Log();
    // Periods that passed while the X server was still answering a grab are lost to any recorder
    // (a machine so busy that the server waits for a core); every other period has its picture.
    std::string log = app.Log();
    long long duringGrabs = -1;
    size_t at = log.find("screen capture: ");
    ASSERT_NE(std::string::npos, at) << log;
    sscanf(log.c_str() + at, "screen capture: %*d pictures, %*d periods missed, %lld", &duringGrabs);
    // The first picture is shown from 0, whenever it came: the grid counts from the second.
    int64_t lost = 0;
    for (size_t i = 2; i < video.size(); ++i)
        lost += std::llround(25 * stream.ToSeconds(video[i].pts - video[i - 1].pts)) - 1;
    EXPECT_LE(lost, duringGrabs) << log;
    ProbePicture picture;
    EXPECT_EQ((int)video.size(), MiddlePicture(path, &picture)) << "every picture decodes";
}

TEST_F(ScreenRecorderE2E, MissingOutputFolderRefusesTheStartUntilItExists) {
    ASSERT_NE("", StartRecorder(false));
    app.Key("F3");
    std::string error = app.WaitWindow("^错误$");
    ASSERT_NE("", error) << app.Log();
    app.Key("F3");  // must not start a second attempt under the message
    OS_Sleep(1000);
    std::string log = ReadFileText(dir.Path() + "/vidloom.log.txt");
    size_t first = log.find("failed to open AvPacker!");
    EXPECT_NE(std::string::npos, first);
    EXPECT_EQ(std::string::npos, log.find("failed to open AvPacker!", first + 1)) << "one start only";
    app.Dismiss(error);
    OS_Sleep(500);

    ASSERT_EQ(0, mkdir((dir.Path() + "/output").c_str(), 0755));
    app.Key("F4");  // brings the bar back
    EXPECT_NE("", app.WaitWindow(kBar, 5000));
    Mp4Probe probe;
    EXPECT_EQ(0, probe.Open(app.Record(2000))) << probe.Error() << "\n" << app.Log();
}

TEST_F(ScreenRecorderE2E, RecordsADraggedRegionWithoutItsOutline) {
    GuiTestApp();
    QWidget* target = ShowTestWindow(QRect(250, 150, 400, 300), QColor(40, 160, 60), "target");
    std::string bar = StartRecorder();
    ASSERT_NE("", bar);

    // "区域" opens the region chooser at once; drag a 101 x 57 rectangle
    // inside the target's body.
    ChooseMode(bar, "Down Down");
    RunCommand("xdotool mousemove 300 250 mousedown 1 mousemove 350 280 mousemove 400 306 mouseup 1");
    ASSERT_NE("", app.WaitWindow(kBar, 5000));
    // "选择" again, F3 (ignored: a chooser is open), then Escape: the
    // chosen region stays, and nothing was recorded.
    app.Click(bar, kChooseX, kControlsY);
    OS_Sleep(1500);
    app.Key("F3");
    OS_Sleep(500);
    app.Key("Escape");
    ASSERT_NE("", app.WaitWindow(kBar, 5000));
    EXPECT_EQ(0, app.OutputCount()) << "no recording under the chooser";
    RunCommand("xdotool mousemove 1900 1060");
    OS_Sleep(500);

    std::string path = RecordWhileShowing(2000);
    ASSERT_NE("", path) << app.Log();

    ProbePicture picture;
    ASSERT_GT(MiddlePicture(path, &picture), 40);
    EXPECT_EQ(101, picture.width);
    EXPECT_EQ(57, picture.height);
    double blue, green, red;
    picture.Average(0, 0, picture.width, picture.height, &blue, &green, &red);
    // What the screen shows there, and no outline: it stays outside.
    QRgb screen = MeanColour(GrabScreen(), QRect(300, 250, 101, 57));
    EXPECT_NEAR(qRed(screen), red, 8);
    EXPECT_NEAR(qGreen(screen), green, 8);
    EXPECT_NEAR(qBlue(screen), blue, 8);
    // The outline shows on the screen one pixel left of the region, and its
    // dark frame is not in the recording's first column.
    QRgb outline = GrabScreen().pixel(299, 270);
    EXPECT_LT(qGreen(outline), 60) << "outline frame just outside the region";
    double columnBlue, columnGreen, columnRed;
    picture.Average(0, 0, 1, picture.height, &columnBlue, &columnGreen, &columnRed);
    EXPECT_GT(columnGreen, 100) << "the target's green body, not the outline";
    delete target;
}

TEST_F(ScreenRecorderE2E, RecordsAWindowPointedAt) {
    GuiTestApp();
    QWidget* target = ShowTestWindow(QRect(1200, 100, 320, 240), QColor(200, 60, 40), "target");
    std::string bar = StartRecorder();
    ASSERT_NE("", bar);

    // "窗口" opens the window chooser at once; point at the target, click.
    ChooseMode(bar, "Down");
    RunCommand("xdotool mousemove 1360 250 sleep 0.3 click 1");
    OS_Sleep(1000);
    RunCommand("xdotool mousemove 10 1060");

    // The window goes away while it is recorded: the file stays whole.
    std::string path = RecordWhileShowing(2000, [target] {
        target->hide();
        ProcessEventsFor(1000);
    });
    ASSERT_NE("", path) << app.Log();
    EXPECT_NE(std::string::npos, app.Log().find("Window capture : (320x240)")) << app.Log();

    ProbePicture picture;
    ASSERT_GT(MiddlePicture(path, &picture), 40);
    EXPECT_EQ(320, picture.width);
    EXPECT_EQ(240, picture.height);
    double blue, green, red;
    picture.Average(0, 0, picture.width, picture.height, &blue, &green, &red);
    // Mostly the body's colour (the title strip and text are darker).
    EXPECT_GT(red, 120);
    EXPECT_LT(green, 90);
    delete target;
}

// kill -9 six seconds in: the file plays, pictures and sound, up to a second before the kill.
TEST_F(ScreenRecorderE2E, AKilledRecordingPlaysUpToASecondBeforeTheKill) {
    ASSERT_NE("", StartRecorder());
    app.Key("F3");
    OS_Sleep(6000);
    app.Kill(SIGKILL);
    ASSERT_EQ(128 + SIGKILL, app.WaitExit(5000));
    ASSERT_EQ(1, app.OutputCount());
    std::string path = app.NewestOutput();
    int pictures = std::atoi(Ffprobe("-count_frames -select_streams v -show_entries stream=nb_read_frames", path).c_str());
    EXPECT_GE(pictures, 125);
    EXPECT_EQ("", RunCommand("ffmpeg -v error -i '" + path + "' -map 0:v -frames:v " + std::to_string(pictures - 25) +
                             " -f null - 2>&1"));
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    ProbeSound sound;
    ASSERT_EQ(0, probe.DecodeSound(1, &sound));
    EXPECT_GE(sound.Frames(), 5 * 11025);
    EXPECT_NEAR(440.0, sound.Frequency(0), 5.0) << "the tone";

    // It starts again: closing the work-mode window ends it, the next start records.
    ASSERT_EQ(0, app.Launch());
    std::string workMode = app.WaitWindow(kWorkMode);
    ASSERT_NE("", workMode) << app.Log();
    ASSERT_EQ(0, X11RequestClose(std::stoul(workMode)));
    EXPECT_EQ(0, app.WaitExit()) << app.Log();
    EXPECT_NE(std::string::npos, app.Log().find("------------ * program start * -----------"));
    ASSERT_NE("", StartRecorder());
    ASSERT_EQ(0, probe.Open(app.Record(2000))) << probe.Error();
    EXPECT_EQ(2u, probe.Streams().size());
    EXPECT_GE(probe.Packets(0).size(), 25u);
}

// The settings file's format applies to the next recording: H.264 in yuv420p at 30 and at 60
// pictures a second over a 1280 x 720 region, nearly every picture there and decoding cleanly, with
// the tone at 48000 Hz; killed, the file still plays.
TEST_F(ScreenRecorderE2E, H264At30And60FpsAnd48kHzSoundFromTheSettings) {
    std::string bar = StartRecorder();
    ASSERT_NE("", bar);
    ChooseMode(bar, "Down Down");
    RunCommand("xdotool mousemove 100 100 mousedown 1 mousemove 700 400 mousemove 1379 819 mouseup 1");
    ASSERT_NE("", app.WaitWindow(kBar, 5000));
    for (int fps : {30, 60}) {
        WriteFileText(dir.File("default.cfg"),
                      "video.codec=h264\naudio.rate=48000\nvideo.fps=" + std::to_string(fps) + "\n");
        std::string path = app.Record(6000);
        ASSERT_NE("", path) << app.Log();
        EXPECT_EQ("h264|1280|720|yuv420p|" + std::to_string(fps) + "/1\n",
                  Ffprobe("-select_streams v -show_entries stream=codec_name,width,height,pix_fmt,r_frame_rate", path));
        Mp4Probe probe;
        ASSERT_EQ(0, probe.Open(path)) << probe.Error();
        const ProbeStream& stream = probe.Streams()[0];
        const std::vector<ProbePacket>& video = probe.Packets(0);
        ASSERT_GE(video.size(), 2u);
        double end = stream.ToSeconds(video.back().pts + video.back().duration);
        // Counted from the second picture, as at 25 fps; the first one is shown from 0.
        std::string gaps;  // periods lost, and when
        double key = 0, keyGap = 0;  // seeking finds a key frame at most 2 s back
        for (size_t i = 1; i < video.size(); ++i) {
            double lost = (stream.ToSeconds(video[i].pts) - stream.ToSeconds(video[i - 1].pts)) * fps - 1;
            if (lost > 0.5)
                gaps += " " + std::to_string(std::lround(lost)) + " at " + std::to_string(stream.ToSeconds(video[i].pts));
            if (video[i].key || i + 1 == video.size()) {
                keyGap = std::fmax(keyGap, stream.ToSeconds(video[i].pts) - key);
                key = stream.ToSeconds(video[i].pts);
            }
        }
        EXPECT_GE(video.size() - 1, 0.99 * (end - stream.ToSeconds(video[1].pts)) * fps) << fps << " fps, lost:" << gaps;
        EXPECT_LT(keyGap, 2.5) << fps << " fps";
        EXPECT_EQ("", RunCommand("ffmpeg -v error -i '" + path + "' -f null - 2>&1"));
        ProbeSound sound;
        ASSERT_EQ(0, probe.DecodeSound(1, &sound));
        EXPECT_EQ(48000, sound.sampleRate);
        EXPECT_NEAR(440.0, sound.Frequency(0), 5.0) << "the tone";
    }
    app.Key("F3");
    OS_Sleep(4000);
    app.Kill(SIGKILL);
    ASSERT_EQ(128 + SIGKILL, app.WaitExit(5000));
    std::string path = app.NewestOutput();
    int pictures = std::atoi(Ffprobe("-count_frames -select_streams v -show_entries stream=nb_read_frames", path).c_str());
    EXPECT_GE(pictures, 2 * 60);
    EXPECT_EQ("", RunCommand("ffmpeg -v error -i '" + path + "' -map 0:v -frames:v " + std::to_string(pictures - 60) +
                             " -f null - 2>&1"));
}

// "默认麦克风+立体声" as in the camera window: without a microphone choosing it says so; with one
// (1000 Hz) both it and the stereo mix (the sink's 440 Hz) are heard.
TEST_F(ScreenRecorderE2E, MicrophoneAndStereoMixAreBothHeardAndAMissingOneIsTold) {
    std::string sine = std::string("module-sine-source source_name=") + getenv("VIDLOOM_TEST_SINE_SOURCE");
    RunCommand("pactl unload-module module-sine-source");
    std::string bar = StartRecorder();
    app.Click(bar, kSoundListX, kControlsY);
    OS_Sleep(500);
    app.Key("Down Return");
    std::string hint = app.WaitWindow("^提示$", 5000);
    app.Kill(SIGTERM);
    app.WaitExit();
    RunCommand("pactl load-module " + sine + " rate=11025 frequency=440");
    ASSERT_NE("", hint) << "no microphone: a hint";

    std::string mic = RunCommand("pactl load-module module-sine-source source_name=vidloom_mic_1k frequency=1000");
    bar = app.Enter(kBar);
    app.Click(bar, kSoundListX, kControlsY);
    OS_Sleep(500);
    app.Key("Down Return");
    OS_Sleep(500);
    int64_t start = OS_NowMs();
    std::string path = app.Record(6000);
    double seconds = (OS_NowMs() - start) / 1000.0;
    RunCommand("pactl unload-module " + mic);
    ASSERT_NE("", path) << app.Log();
    EXPECT_NE(std::string::npos, app.Log().find("Start stereo capture")) << app.Log();
    ExpectMicrophoneAndMixTones(path, seconds);
}

// A muted microphone: after 5 s of silence a notice says so, and the recording goes on.
TEST_F(ScreenRecorderE2E, SilentSoundSourceGetsANoticeAndTheRecordingGoesOn) {
    ASSERT_NE("", StartRecorder());
    RunCommand(std::string("pactl set-source-mute ") + getenv("VIDLOOM_TEST_SINK") + ".monitor 1");
    app.Key("F3");
    std::string notice = app.WaitWindow("^提示$", 15000);
    ASSERT_NE("", notice) << app.Log();
    EXPECT_NE(std::string::npos, app.Log().find("the first 5 s is silence")) << app.Log();
    app.Dismiss(notice);
    OS_Sleep(1000);
    EXPECT_FALSE(app.HasWindow(kBar)) << "still recording";
    app.Key("F4");
    ASSERT_NE("", app.WaitOutputFile()) << app.Log();
}

// A clean stop leaves an ordinary, seekable MP4 lasting F3 to F4. A stopped sound server (before
// F3, during the start, while recording, at F4) never holds the bar's thread; F4 brings the bar back
// at once, a failed sound start is told within 3 s; either way the file is whole.
TEST_F(ScreenRecorderE2E, CleanStopGivesAnOrdinaryMp4AndAStoppedSoundServerFreezesNothing) {
    std::string bar = StartRecorder();
    ASSERT_NE("", bar);
    app.Key("F3");
    int64_t start = OS_NowMs();
    OS_Sleep(4000);
    int64_t stop;
    {
        StoppedSoundServer stopped;
        ExpectAnswers(bar, 1000, "while recording");
        app.Key("F4");
        stop = OS_NowMs();
        EXPECT_NE("", app.WaitWindow(kBar, 1000)) << "the bar comes back";
        ExpectAnswers(bar, 1500, "while the file is finished");
    }
    std::string path = app.WaitOutputFile();
    ASSERT_NE("", path) << app.Log();
    EXPECT_EQ("mpeg4|video|1920|1080|yuv420p|25/1\naac|audio|fltp|11025|2|0/0\n",
              Ffprobe("-show_entries stream=codec_type,codec_name,r_frame_rate,width,height,pix_fmt,sample_rate,"
                      "channels,sample_fmt",
                      path));
    double duration = std::atof(Ffprobe("-show_entries format=duration", path).c_str());
    EXPECT_NEAR((stop - start) / 1000.0, duration, 0.1);
    std::string frame = Ffprobe("-read_intervals 2.5%+#1 -select_streams v -show_entries frame=pts_time", path);
    EXPECT_NEAR(2.5, std::atof(frame.c_str()), 1.0) << "seeking to the middle decodes a picture there";

    {
        StoppedSoundServer stopped;
        int64_t f3 = OS_NowMs();
        app.Key("F3");
        ExpectAnswers(bar, 1000, "while the sound starts");
        std::string error = app.WaitWindow("^错误$");
        ASSERT_NE("", error) << app.Log();
        EXPECT_LT(OS_NowMs() - f3, 3000) << "the sound's failure is told within 3 s";
        EXPECT_NE(std::string::npos, app.Log().find("failed to open microphone device!"));
        app.Dismiss(error);
    }
    EXPECT_NE("", app.WaitWindow(kBar, 5000)) << "capture stopped, bar shown again";
    ASSERT_EQ(2, app.OutputCount());
    Mp4Probe probe;
    EXPECT_EQ(0, probe.Open(app.NewestOutput())) << probe.Error();

    // stopped between the connection and the stream: a recording or the failure, never a freeze
    app.Key("F3");
    OS_Sleep(20);
    {
        StoppedSoundServer stopped;
        ExpectAnswers(bar, 1000, "between connection and stream");
    }
    std::string error = app.WaitWindow("^错误$", 3000);
    if (!error.empty())
        app.Dismiss(error);
    app.Key("F4");
    EXPECT_NE("", app.WaitWindow(kBar, 5000));

    // start-up with the server stopped: the bar still comes within 3 s
    app.Kill(SIGTERM);
    ASSERT_EQ(0, app.WaitExit());
    StoppedSoundServer stopped;
    ASSERT_EQ(0, app.Launch());
    std::string workMode = app.WaitWindow(kWorkMode);
    ASSERT_NE("", workMode) << app.Log();
    int64_t enter = OS_NowMs();
    app.Click(workMode, 80, 105);
    EXPECT_NE("", app.WaitWindow(kBar, 3000));
    EXPECT_LT(OS_NowMs() - enter, 3000) << "the bar after \"进入\"";
}

// A disk that fills mid-recording ends it as F4 would: a message, the bar back, the file whole up
// to the failure.
TEST_F(ScreenRecorderE2E, NearlyFullDiskEndsTheRecordingWithAMessageAndAWholeFile) {
    std::string bar = StartRecorder();
    ASSERT_NE("", bar);
    std::string output = dir.Path() + "/output";
    int status = -1;
    RunCommand("mount -t tmpfs -o size=8m vidloom-full '" + output + "' 2>&1", &status);
    if (status != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        ~Unmount() { RunCommand("umount -l '" + dir + "'"); }
        std::string dir;
    } unmount{output};
    // all but 400 KiB taken: far less than a minute of recording, which ends before the disk fills
    RunCommand("head -c 7979008 /dev/zero > '" + output + "/filler'");
    app.Key("F3");
    std::string error = app.WaitWindow("^错误$", 60000);
    ASSERT_NE("", error) << app.Log();
    EXPECT_NE(std::string::npos, app.Log().find("stopped because its disk is nearly full")) << app.Log();
    EXPECT_EQ("", RunCommand("ffmpeg -v error -i '" + app.NewestOutput() + "' -f null - 2>&1")) << "a whole file";
    app.Dismiss(error);
    EXPECT_NE("", app.WaitWindow(kBar, 5000)) << "the bar is back";
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(app.NewestOutput())) << probe.Error() << "\n" << app.OutputFiles();
    std::vector<ProbePicture> pictures;
    EXPECT_EQ(0, probe.DecodePictures(0, &pictures));
    EXPECT_GE(pictures.size(), 5u) << "the pictures up to the stop";
    app.Click(bar, kExitX, kControlsY);
    EXPECT_EQ(0, app.WaitExit()) << app.Log();
}
