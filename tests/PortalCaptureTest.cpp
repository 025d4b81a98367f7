// vidloom:sanitize
// vidloom:wayland
// Screen capture through the screen-sharing portal on the private GNOME desktop
// (scripts/with-wayland-desktop.sh): the handshake and its outcomes, the PipeWire
// stream with its cursor, and the pacing of the capture task. The PortalStandIn
// cases run on a bare desktop (VIDLOOM_DESKTOP_STANDIN=1) with a stand-in portal
// for what GNOME will not make on demand.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "capture/PortalCapTask.h"
#include "os/OS_Clock.h"
#include "platform/pipewire/PipeWireStream.h"
#include "platform/portal/ScreenCastPortal.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FramePool.h"
#include "tests/support/TestEnv.h"

namespace {

#define REQUIRE_DESKTOP()                                                                         \
    do {                                                                                          \
        InitFramePool();                                                                          \
        if (!getenv("WAYLAND_DISPLAY") || !getenv("VIDLOOM_COMPOSITOR_PID")) {                   \
            const char* required = getenv("VIDLOOM_REQUIRE_DESKTOP");                             \
            if (required && std::string(required) == "1") FAIL() << "no test desktop";            \
            GTEST_SKIP() << "no test desktop: run under scripts/with-wayland-desktop.sh";         \
        }                                                                                         \
    } while (0)

// The seven bars of the smpte pattern, each in its place with its colour
// (bits red, green, blue), high in the picture and in its middle.
bool BarsRight(const std::vector<uint8_t>& bgrx, int w, int h) {
    static const int colours[7] = {7, 6, 3, 2, 5, 4, 1};
    for (int y : {h / 10, h / 2})
        for (int i = 0; i < 7; ++i) {
            const uint8_t* p = &bgrx[((size_t)y * w + (2 * i + 1) * w / 14) * 4];
            if (((p[2] > 96) << 2 | (p[1] > 96) << 1 | (p[0] > 96)) != colours[i])
                return false;
        }
    return true;
}

void EnsureApp() {
    static int argc = 1;
    static char name[] = "PortalCaptureTest";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

// Runs the portal's handshake for the monitor, answering its dialog with choice
// ("share", "cancel", or "" when no dialog is expected).
ScreenCastPortal::Outcome StartPortal(ScreenCastPortal& portal, const char* choice) {
    EnsureApp();
    ChildProcess answer;
    if (*choice)
        answer.Start({choice, "30"}, VIDLOOM_SOURCE_DIR "/tests/support/answer-share-dialog.py");
    if (portal.Open(ScreenCastPortal::SOURCE_MONITOR) != 0)
        return portal.outcome();
    return portal.WaitForStart(30000);
}

// A client that moves: a ball bouncing in a window of the desktop, 60 times a second.
struct MovingClient {
    ChildProcess process;
    MovingClient() {
        process.Start({"-q", "videotestsrc", "pattern=ball", "!", "video/x-raw,framerate=60/1", "!", "waylandsink"},
                      "gst-launch-1.0");
        OS_Sleep(1500);  // its window maps and draws
    }
};

// Keeps the pictures' count, how often they changed and whether any was not black; light, as
// it runs on the capture thread (a sample of every 61st pixel).
struct Collector : ScreenCapListener {
    std::mutex lock;
    int count = 0;
    int changes = 0;
    bool anyLit = false;
    uint64_t lastSum = 0;
    int lastSize = 0;

    int OnScreenFrame(MMPacket* packet) override {
        uint64_t sum = 0;
        bool lit = false;
        for (int i = 0; i + 3 < packet->size; i += 61 * 4) {
            sum = sum * 31 + (packet->data[i] | packet->data[i + 1] << 8 | packet->data[i + 2] << 16);
            lit = lit || (packet->data[i] | packet->data[i + 1] | packet->data[i + 2]) != 0;
        }
        std::lock_guard<std::mutex> guard(lock);
        changes += count > 0 && sum != lastSum;
        ++count;
        anyLit = anyLit || lit;
        lastSum = sum;
        lastSize = packet->size;
        packet->Release();
        return 0;
    }
    void Reset() {
        std::lock_guard<std::mutex> guard(lock);
        count = changes = 0;
        anyLit = false;
    }
};

struct EndFlag : CaptureEndListener {
    std::atomic<bool> ended{false};
    void OnCaptureEnded() override { ended = true; }
};

// Counts what a stream delivers.
struct StreamCounter : StreamSink {
    std::atomic<int> pictures{0}, cursors{0}, ended{0};
    std::atomic<int> width{0}, height{0}, stride{0};
    void OnStreamPicture(const StreamPicture& p) override {
        width = p.width;
        height = p.height;
        stride = p.stride;
        ++pictures;
    }
    void OnStreamCursor(const StreamCursor& c) override {
        cursors += c.visible;
    }
    void OnStreamEnded() override { ++ended; }
};

}  // namespace

// The portal hands a stream; the task makes 25 pictures a second of a moving and of a still
// desktop, every period filled. (The program's own test covers the restore and a cancel.)
TEST(PortalCapture, PacesMovingAndStillDesktop) {
    REQUIRE_DESKTOP();
    ScreenCastPortal portal;
    auto* client = new MovingClient;
    ASSERT_EQ(ScreenCastPortal::OUTCOME_STARTED, StartPortal(portal, "share")) << portal.ErrorText();
    EXPECT_GE(portal.Version(), 4u);
    EXPECT_FALSE(portal.RestoreToken().empty());
    EXPECT_GT(portal.NodeId(), 0u);

    Collector collector;
    OS_Clock clock;
    PortalCapTask task;
    task.SetListener(&collector);
    task.SetFrameClock(&clock);
    ASSERT_EQ(0, task.Open(portal.PipeWireFd(), portal.NodeId(), 0, 0, 0, 0));
    EXPECT_EQ(1280, task.width());
    EXPECT_EQ(720, task.height());
    // a rate given after Open negotiates the stream's format again, twice here
    task.SetFrameRate(30);
    task.SetFrameRate(25);
    clock.Start(0);
    ASSERT_EQ(0, task.Start());

    // moving: every period one picture, most of them new
    OS_Sleep(500);
    collector.Reset();
    int64_t streamBefore = task.StreamPictures();
    OS_Sleep(3000);
    {
        std::lock_guard<std::mutex> guard(collector.lock);
        EXPECT_NEAR(75, collector.count, 2);
        EXPECT_GT(collector.changes, 25);
        EXPECT_TRUE(collector.anyLit);
    }
    EXPECT_GT(task.StreamPictures() - streamBefore, 25);

    // still: the compositor sends nothing, the last picture is repeated
    delete client;
    OS_Sleep(500);
    collector.Reset();
    streamBefore = task.StreamPictures();
    OS_Sleep(3000);
    {
        std::lock_guard<std::mutex> guard(collector.lock);
        EXPECT_NEAR(75, collector.count, 2);
        EXPECT_EQ(0, collector.changes);
    }
    EXPECT_LE(task.StreamPictures() - streamBefore, 2);
    task.Stop();
    // at least 98 % of the periods filled over the whole run: a period can be lost when other
    // work on the machine starves the capture thread (none on an idle machine)
    FramePacer::Stats stats = task.GetPacingStats();
    EXPECT_LE(stats.periodsMissed * 50, stats.pictures + stats.periodsMissed);
    EXPECT_FALSE(task.HasEnded());
}

// The stream with cursor metadata: pictures of the monitor and the cursor beside them; a region
// cut from it. A token the desktop does not know only makes it ask again.
TEST(PortalCapture, CursorMetadataAndRegion) {
    REQUIRE_DESKTOP();
    ScreenCastPortal portal;
    MovingClient client;
    portal.SetRestoreToken("7e57a1e0-0000-4000-8000-000000000000");
    ASSERT_EQ(ScreenCastPortal::OUTCOME_STARTED, StartPortal(portal, "share")) << portal.ErrorText();
    EXPECT_NE("7e57a1e0-0000-4000-8000-000000000000", portal.RestoreToken());
    EXPECT_TRUE(portal.CursorAsMetadata());

    StreamCounter counter;
    PipeWireStream stream;
    ASSERT_EQ(0, stream.Open(portal.PipeWireFd(), portal.NodeId(), &counter));
    int w = 0, h = 0;
    ASSERT_EQ(0, stream.WaitForFormat(5000, &w, &h));
    EXPECT_EQ(1280, w);
    EXPECT_EQ(720, h);
    // the headless compositor shows a cursor once the pointer moved
    int moved = -1;
    RunCommand(VIDLOOM_SOURCE_DIR "/tests/support/move-pointer.py 300 200", &moved);
    EXPECT_EQ(0, moved);
    QElapsedTimer timer;
    timer.start();
    while ((counter.pictures < 10 || counter.cursors == 0) && timer.elapsed() < 5000)
        OS_Sleep(20);
    stream.Close();
    EXPECT_GE(counter.pictures, 10);
    EXPECT_EQ(1280, counter.width);
    EXPECT_GE(counter.stride, 1280 * 4);
    // the position; the headless compositor sends no cursor image (its bitmap's format is 0)
    EXPECT_GT(counter.cursors, 0);
    EXPECT_EQ(0, counter.ended);

    PortalCapTask task;
    Collector collector;
    task.SetListener(&collector);
    ASSERT_EQ(0, task.Open(portal.PipeWireFd(), portal.NodeId(), 100, 60, 320, 240));
    EXPECT_EQ(320, task.width());
    EXPECT_EQ(240, task.height());
    ASSERT_EQ(0, task.Start());
    OS_Sleep(400);
    task.Stop();
    std::lock_guard<std::mutex> guard(collector.lock);
    EXPECT_GE(collector.count, 5);
    EXPECT_EQ(320 * 240 * 4, collector.lastSize);
}

// The compositor going away mid-capture ends the capture, and says so. (The portal sends no
// Session::Closed then: the producer's node leaving PipeWire tells; the program's own test
// makes the portal go away.)
TEST(PortalCapture, CompositorGoneEndsCapture) {
    REQUIRE_DESKTOP();
    ScreenCastPortal portal;
    ASSERT_EQ(ScreenCastPortal::OUTCOME_STARTED, StartPortal(portal, "share")) << portal.ErrorText();
    EndFlag end;
    Collector collector;
    PortalCapTask task;
    task.SetListener(&collector);
    task.SetEndListener(&end);
    ASSERT_EQ(0, task.Open(portal.PipeWireFd(), portal.NodeId(), 0, 0, 0, 0));
    ASSERT_EQ(0, task.Start());
    OS_Sleep(300);
    EXPECT_FALSE(task.HasEnded());

    kill(atoi(getenv("VIDLOOM_COMPOSITOR_PID")), SIGKILL);
    QElapsedTimer timer;
    timer.start();
    while (!end.ended && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(end.ended);
    EXPECT_TRUE(task.HasEnded());
    task.Stop();
}

// The handshake's outcomes and the odd producers: each case asks a stand-in portal, and a
// started one must give the bars in their colours and places at the size of the first picture.
TEST(PortalStandIn, OutcomesAndProducers) {
    if (!getenv("VIDLOOM_STANDIN_DESKTOP"))
        GTEST_SKIP() << "no stand-in desktop: run under VIDLOOM_DESKTOP_STANDIN=1 scripts/with-wayland-desktop.sh";
    InitFramePool();
    struct Case {
        const char* name;
        ScreenCastPortal::Outcome outcome;
        int width, height;
    } cases[] = {
        {"deny", ScreenCastPortal::OUTCOME_REFUSED, 0, 0},
        {"cancel", ScreenCastPortal::OUTCOME_CANCELLED, 0, 0},
        {"rgbx", ScreenCastPortal::OUTCOME_STARTED, 320, 240},
        {"padded", ScreenCastPortal::OUTCOME_STARTED, 321, 241},  // rows of 963 bytes padded to 964
        {"resize", ScreenCastPortal::OUTCOME_STARTED, 0, 0},      // 320x240 and 640x480 by turns
        {"v3", ScreenCastPortal::OUTCOME_STARTED, 320, 240},      // a portal without tokens
        {"early", ScreenCastPortal::OUTCOME_STARTED, 320, 240},   // the answer before the reply
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // killed at the end of the case, and its producer with it
        ChildProcess standIn;
        standIn.Start({c.name}, VIDLOOM_SOURCE_DIR "/tests/support/standin-portal.py");
        uint32_t node = 0;
        ASSERT_EQ(1, sscanf(standIn.ReadLine().c_str(), "ready %u", &node));
        ScreenCastPortal portal;
        portal.SetRestoreToken("old-token");
        ASSERT_EQ(c.outcome, StartPortal(portal, ""));
        // tokens only from version 4 on
        std::string options = standIn.ReadLine();
        bool v3 = std::string(c.name) == "v3";
        EXPECT_EQ(!v3, options.find("persist_mode") != std::string::npos) << options;
        EXPECT_EQ(!v3, options.find("restore_token") != std::string::npos) << options;
        // a cancel says nothing; a refusal says why
        EXPECT_EQ(c.outcome == ScreenCastPortal::OUTCOME_REFUSED, !portal.ErrorText().empty());
        if (c.outcome != ScreenCastPortal::OUTCOME_STARTED)
            continue;
        EXPECT_EQ(v3 ? "old-token" : "standin-token", portal.RestoreToken());
        EXPECT_EQ(node, portal.NodeId());

        PortalCapTask task;
        ASSERT_EQ(0, task.Open(portal.PipeWireFd(), portal.NodeId(), 0, 0, 0, 0));
        // the changing size: three changes; pictures keep coming, scaled into the first size
        OS_Sleep(c.width ? 0 : 2500);
        int64_t before = task.StreamPictures();
        OS_Sleep(1000);
        EXPECT_GT(task.StreamPictures() - before, 10);
        EXPECT_FALSE(task.HasEnded());
        std::vector<uint8_t> picture(task.frameSize());
        EXPECT_EQ(0, task.GrabStill(picture.data(), task.frameSize()));
        if (c.width) {
            EXPECT_EQ(c.width, task.width());
            EXPECT_EQ(c.height, task.height());
            EXPECT_TRUE(BarsRight(picture, c.width, c.height));
        }
    }
}
