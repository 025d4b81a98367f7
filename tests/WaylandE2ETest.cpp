// vidloom:wayland
// The real program on the private GNOME desktop (run with VIDLOOM_DESKTOP_PROGRAM=1): screen
// mode records through the screen-sharing portal, driven by the commands of desktop shortcuts
// (--screen opens the bar directly, --start/--stop/--toggle reach the running copy).
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include <QHBoxLayout>
#include <QWidget>

#include "os/OS_Clock.h"
#include "tests/support/AppDriver.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

namespace {

// A start through --start while answer-share-dialog.py answers choice ("" for no dialog),
// sharing the window of that title if one is given.
int StartAnswering(AppDriver& app, const char* choice, std::string* output, const char* window = "") {
    ChildProcess answer;
    if (*choice)
        answer.Start({choice, "30", window}, VIDLOOM_SOURCE_DIR "/tests/support/answer-share-dialog.py");
    return app.Command("--start", output);
}

// One small grey picture a second of the file, read back by FFmpeg.
std::string Thumbnails(const std::string& path) {
    return RunCommand("ffmpeg -v error -i '" + path + "' -vf fps=1,scale=32:18 -f rawvideo -pix_fmt gray -");
}

// Opens a file of at least 5.5 s and checks that at least share of its 40 ms periods hold a picture
// (all of them on a quiet machine: a period is lost when the load starves the capture thread or holds
// up the encoder, or while a resized window's stream is renegotiated). Its video stream, or -1.
int OpenFilled(Mp4Probe& probe, const std::string& path, double share) {
    int video = probe.Open(path) == 0 ? probe.FindStream(ProbeStream::VIDEO) : -1;
    EXPECT_GE(video, 0) << path << ": " << probe.Error();
    if (video < 0)
        return -1;
    const ProbeStream& stream = probe.Streams()[video];
    std::vector<int64_t> pts;
    for (const ProbePacket& p : probe.Packets(video))
        pts.push_back(p.pts);
    std::sort(pts.begin(), pts.end());
    EXPECT_GT(pts.size(), 2u);
    if (pts.size() < 3)
        return -1;
    // the first picture is shown from 0, whenever it came: count from the second
    std::string gaps;  // where periods are missing, in periods
    for (size_t i = 2; i < pts.size(); ++i)
        if (stream.ToSeconds(pts[i] - pts[i - 1]) > 0.06)
            gaps += std::to_string((int)(stream.ToSeconds(pts[i - 1] - pts[1]) * 25)) + "+" +
                    std::to_string((int)(stream.ToSeconds(pts[i] - pts[i - 1]) * 25 + 0.5)) + " ";
    double periods = stream.ToSeconds(pts.back() - pts[1]) * 25 + 1;
    EXPECT_GE(periods, 5.5 * 25);
    EXPECT_GE(pts.size() - 1, share * periods) << "periods " << periods << ", gaps " << gaps;
    return video;
}

}  // namespace

// Without a copy the commands say so; a cancelled dialog leaves nothing; a shared screen is
// recorded at 25 pictures a second, moving; the next start is not asked again (toggled twice);
// a window is recorded (GNOME Shell, VIDLOOM_DESKTOP_SHELL=1, lists them for the portal's
// picker); the portal going away ends the recording with a whole file.
TEST(WaylandE2E, CancelRecordRestoreWindowAndPortalGone) {
    if (!getenv("VIDLOOM_COMPOSITOR_PID") || !getenv("DISPLAY") || !getenv("PULSE_SERVER")) {
        if (getenv("VIDLOOM_REQUIRE_DESKTOP"))
            FAIL() << "no desktop for the program (VIDLOOM_DESKTOP_PROGRAM=1)";
        GTEST_SKIP() << "run under VIDLOOM_DESKTOP_PROGRAM=1 VIDLOOM_DESKTOP_SHELL=1 scripts/with-wayland-desktop.sh";
    }
    ChildProcess client;
    client.Start({"-q", "videotestsrc", "pattern=ball", "!", "waylandsink"}, "gst-launch-1.0");
    TempDir dir;
    AppDriver app;
    ASSERT_EQ(0, app.Install(dir.Path()));
    std::string output;
    EXPECT_EQ(1, app.Command("--stop", &output));
    EXPECT_NE(std::string::npos, output.find("no running copy")) << output;
    ASSERT_EQ(0, app.Launch("--screen"));
    std::string bar = app.WaitWindow("^桌面录像$");
    ASSERT_NE("", bar) << app.Log();
    EXPECT_FALSE(app.HasWindow("^Quorvex$")) << "no work-mode window";

    EXPECT_EQ(1, StartAnswering(app, "cancel", &output)) << output;
    EXPECT_EQ(0, app.OutputCount()) << app.OutputFiles();
    EXPECT_FALSE(app.HasWindow("^错误$")) << "no message for a cancel";
    EXPECT_NE("", app.WaitWindow("^桌面录像$", 5000));

    ASSERT_EQ(0, StartAnswering(app, "share", &output)) << output << app.Log();
    OS_Sleep(6000);
    EXPECT_EQ(0, app.Command("--stop", &output)) << output;
    std::string path = app.WaitOutputFile();
    ASSERT_NE("", path) << app.Log();
    Mp4Probe probe;
    int video = OpenFilled(probe, path, 0.99);
    ASSERT_GE(video, 0);
    EXPECT_EQ(1280, probe.Streams()[video].width);
    EXPECT_GE(probe.FindStream(ProbeStream::AUDIO), 0);
    std::string thumbs = Thumbnails(path);
    ASSERT_GE(thumbs.size(), 5u * 32 * 18);
    int lit = 0, changed = 0;
    for (size_t i = 0; i < thumbs.size(); ++i) {
        lit += (uint8_t)thumbs[i] > 40;
        changed += i >= 32 * 18 && thumbs[i] != thumbs[i - 32 * 18];
    }
    EXPECT_GT(lit, 0) << "not black";
    EXPECT_GT(changed, 0) << "the ball moves";
    EXPECT_NE(std::string::npos, app.Log().find("screen capture through portal"));

    // the grant is restored: no dialog
    EXPECT_EQ(0, app.Command("--toggle", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("started")) << output;
    OS_Sleep(1500);
    EXPECT_EQ(0, app.Command("--toggle", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("stopped")) << output;
    OS_Sleep(1500);
    app.WaitOutputFile();
    EXPECT_EQ(2, app.OutputCount()) << app.OutputFiles();

    // window mode: the window chosen in the portal's picker, alone at its own size; made larger
    // mid-recording, it is scaled into the size of the start
    GuiTestApp();
    QWidget target;  // red on the left, blue on the right, at any size
    target.setWindowTitle("vidloom-target");
    QHBoxLayout* halves = new QHBoxLayout(&target);
    for (const char* colour : {"red", "blue"}) {
        halves->addWidget(new QWidget);
        halves->itemAt(halves->count() - 1)->widget()->setStyleSheet(QString("background: ") + colour);
    }
    target.setGeometry(40, 400, 320, 240);  // below the bar
    target.show();
    ASSERT_TRUE(WaitExposed(&target));
    app.Click(bar, 299, 30);  // "窗口" in the mode list
    OS_Sleep(500);
    app.Key("Down Return");
    OS_Sleep(1000);
    ASSERT_EQ(0, StartAnswering(app, "share", &output, "vidloom-target")) << output << app.Log();
    for (int step = 0; step < 12; ++step) {  // repainted twice a second, made larger half way
        if (step == 6)
            target.resize(600, 300);
        target.update();
        ProcessEventsFor(500);
    }
    EXPECT_EQ(0, app.Command("--stop", &output)) << output;
    Mp4Probe window;
    video = OpenFilled(window, app.WaitOutputFile(), 0.95);
    std::vector<ProbePicture> pictures;
    ASSERT_EQ(0, window.DecodePictures(video, &pictures));
    ASSERT_GT(pictures.size(), 100u);
    EXPECT_LT(pictures[0].width, 400) << "the window with its frame, not the screen";
    for (const ProbePicture* p : {&pictures[25], &pictures.back()}) {
        double b, g, r, b2, g2, r2;
        p->Average(p->width / 8, p->height / 3, p->width / 4, p->height / 3, &b, &g, &r);
        p->Average(p->width * 5 / 8, p->height / 3, p->width / 4, p->height / 3, &b2, &g2, &r2);
        EXPECT_TRUE(r > 150 && b < 80 && b2 > 150 && r2 < 80)
            << "red | blue, scaled into the first size: " << r << "," << b << " | " << r2 << "," << b2;
    }

    // back in full screen the monitor's grant is restored; the portal goes away mid-recording
    app.Click(bar, 299, 30);
    OS_Sleep(500);
    app.Key("Up Return");
    OS_Sleep(1000);
    ASSERT_EQ(0, StartAnswering(app, "", &output)) << output << app.Log();
    OS_Sleep(2000);
    kill(atoi(getenv("VIDLOOM_PORTAL_PID")), SIGKILL);
    EXPECT_NE("", app.WaitWindow("^错误$", 10000)) << app.Log();
    EXPECT_FALSE(app.Command("--stop", &output) == 0 && output.find("stopped") != std::string::npos)
        << "ended by itself: " << output;
    std::string gone = app.WaitOutputFile();
    ASSERT_EQ(4, app.OutputCount());
    Mp4Probe whole;
    ASSERT_EQ(0, whole.Open(gone)) << whole.Error();
    EXPECT_GE(whole.Packets(whole.FindStream(ProbeStream::VIDEO)).size(), 40u);
}
