// Screen capture of 1280 x 720 with a moving client (a GStreamer ball) at
// 25 pictures a second: through the screen-sharing portal and PipeWire on
// the private GNOME desktop, or through X11 on a private Xvfb of that size.
// Reports this process's CPU per captured second, pictures delivered of
// those expected, and the display server's own CPU apart (the compositor
// pays for the cast). With "record", the pictures go through the real
// packer into an MP4 file (the program's default codec, no sound), so the
// CPU is the whole recording's picture path, and the frames written are
// read back from the file. With "still", no client: a desktop that does
// not change.
//
//   scripts/build.sh build -- PortalCaptureBench
//   scripts/with-wayland-desktop.sh build/bin/PortalCaptureBench [seconds [record] [still]]
//   VIDLOOM_TEST_SCREEN=1280x720x24 scripts/with-test-servers.sh build/bin/PortalCaptureBench [seconds [record] [still]]
#include <QCoreApplication>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "bench/CpuTime.h"
#include "capture/PortalCapTask.h"
#include "capture/ScreenCapTask.h"
#include "media/AvPacker.h"
#include "media/MemPool.h"
#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "platform/portal/ScreenCastPortal.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

namespace {

const int WIDTH = 1280, HEIGHT = 720;
const int FPS = 25;
// The client's window maps and the stream settles before measuring.
const int SETTLE_MS = 1500;

// Counts the pictures; hands them to the packer when there is one.
struct Counter : ScreenCapListener {
    std::atomic<int> pictures{0};
    AvPacker* packer = nullptr;
    int OnScreenFrame(MMPacket* packet) override {
        ++pictures;
        if (packer)
            packer->Push(packet);
        else
            packet->Release();
        return 0;
    }
};

// CPU seconds process pid has used (user + system), from /proc: after the
// command's ")" come state (field 3) ... utime (14) and stime (15).
double PidCpuSeconds(const std::string& pid) {
    std::string stat = ReadFileText("/proc/" + pid + "/stat");
    size_t close = stat.rfind(')');
    if (pid.empty() || close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += atof(field.c_str());
    return ticks / sysconf(_SC_CLK_TCK);
}

// Runs task (opened) for seconds, recording into file when it is not
// empty; prints the figures.
template <class Task>
void Measure(const char* path, Task& task, Counter& counter, int seconds, const std::string& serverPid,
             const std::string& file) {
    AvPacker packer;
    if (!file.empty()) {
        if (packer.Open(file.c_str(), task.width(), task.height(), 32, 0, task.width(), task.height(), FPS) != 0) {
            fprintf(stderr, "cannot open the packer\n");
            return;
        }
        counter.packer = &packer;
    }
    OS_Clock clock;
    task.SetListener(&counter);
    task.SetFrameClock(&clock);
    clock.Start(0);
    task.Start();
    OS_Sleep(SETTLE_MS);
    int before = counter.pictures;
    double cpu = ProcessCpuSeconds(), server = PidCpuSeconds(serverPid);
    OS_Sleep((unsigned)seconds * 1000);
    cpu = ProcessCpuSeconds() - cpu;
    server = PidCpuSeconds(serverPid) - server;
    int pictures = counter.pictures - before;
    task.Stop();
    // frames 0 to the one whose period the stop fell in
    int64_t expected = RecordingFormat::FrameAt(clock.ElapsedUs(), FPS) + 1;
    printf("%s %dx%d%s: vidloom %.1f ms CPU per second, pictures %d of %d, display server %.1f ms CPU per second\n",
           path, task.width(), task.height(), file.empty() ? "" : " recorded", cpu * 1000 / seconds, pictures,
           seconds * FPS, server * 1000 / seconds);
    if (file.empty())
        return;
    packer.Close();
    counter.packer = nullptr;
    Mp4Probe probe;
    size_t written = probe.Open(file) == 0 ? probe.Packets(0).size() : 0;
    printf("%s: frames written %zu of %lld\n", path, written, (long long)expected);
}

}  // namespace

int main(int argc, char* argv[]) {
    int seconds = argc > 1 ? atoi(argv[1]) : 10;
    TempDir dir;
    std::string file;
    bool still = false;
    for (int i = 2; i < argc; ++i) {
        file = std::string(argv[i]) == "record" ? dir.File("bench.mp4") : file;
        still = still || std::string(argv[i]) == "still";
    }
    MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);
    Counter counter;
    ChildProcess client;

    if (getenv("VIDLOOM_COMPOSITOR_PID")) {
        QCoreApplication app(argc, argv);
        if (!still)
            client.Start({"-q", "videotestsrc", "pattern=ball", "!", "waylandsink"}, "gst-launch-1.0");
        ChildProcess answer;
        answer.Start({"share", "30"}, VIDLOOM_SOURCE_DIR "/tests/support/answer-share-dialog.py");
        ScreenCastPortal portal;
        if (portal.Open(ScreenCastPortal::SOURCE_MONITOR) != 0 ||
            portal.WaitForStart(30000) != ScreenCastPortal::OUTCOME_STARTED) {
            fprintf(stderr, "no screen-sharing stream: %s\n", portal.ErrorText().c_str());
            return 1;
        }
        PortalCapTask task;
        if (task.Open(portal.PipeWireFd(), portal.NodeId(), 0, 0, 0, 0) != 0)
            return 1;
        int64_t stream = task.StreamPictures();
        Measure("portal", task, counter, seconds, getenv("VIDLOOM_COMPOSITOR_PID"), file);
        printf("portal: the compositor sent %.1f pictures per second\n",
               (double)(task.StreamPictures() - stream) / (seconds + SETTLE_MS / 1000.0));
        return 0;
    }
    if (getenv("DISPLAY")) {
        if (!still)
            client.Start({"-q", "videotestsrc", "pattern=ball", "!", "ximagesink"}, "gst-launch-1.0");
        ScreenCapTask task;
        if (task.Open(0, 0, WIDTH, HEIGHT) != 0)
            return 1;
        // our Xvfb: a child of the script that runs us
        std::string xvfb = RunCommand("pgrep -P " + std::to_string(getppid()) + " -x Xvfb");
        Measure("x11", task, counter, seconds, xvfb.substr(0, xvfb.find('\n')), file);
        return 0;
    }
    fprintf(stderr, "run under scripts/with-wayland-desktop.sh or scripts/with-test-servers.sh\n");
    return 2;
}
