// Screen capture costs on a private 3840 x 2160 Xvfb with moving content:
//   1. one grab of 1920 x 1080: shared memory, XGetImage, and the whole
//      DesktopGrabber;
//   2. the capture thread alone: pictures per second, CPU, and how late each
//      grab began against the 40 ms frame grid;
//   3. recordings of 1280 x 720, 1920 x 1080, 2560 x 1440 and 3840 x 2160
//      through the packer with sound blocks pushed at the capture's rate:
//      CPU per recorded second, and per megapixel of the picture, split into
//      grabbing, conversion, encoding (the packer thread and the encoder's
//      slice threads), sound and the rest, pictures written, grid lateness;
//   4. ffmpeg -f x11grab with the same codec settings at 1920 x 1080,
//      split by running it as grab only, grab + conversion, and all.
// The X server's own CPU (it copies the pixels for both) is given apart.
//
//   scripts/build.sh build -- ScreenCaptureBench
//   build/bin/ScreenCaptureBench [seconds per recording] [WxH ...: only these recordings]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/CpuTime.h"
#include "tests/support/MediaSamples.h"
#include "capture/DesktopGrabber.h"
#include "capture/ScreenCapTask.h"
#include "media/AvPacker.h"
#include "media/MemPool.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ScreenImage.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/TestEnv.h"
#include "tests/support/X11TestScreen.h"

namespace {

// The screen; grabs and the capture thread alone use a 1920 x 1080 part.
const int SCREEN_WIDTH = 3840, SCREEN_HEIGHT = 2160;
const int WIDTH = 1920, HEIGHT = 1080;
const int FPS = 25;
const int GRABS = 200;

// CPU seconds the process pid has used so far (user + system).
double PidCpuSeconds(int pid) {
    std::string stat = ReadFileText("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    // Fields after the command: state is field 3, utime 14, stime 15.
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < stat.size()) {
        size_t space = stat.find(' ', at);
        fields.push_back(stat.substr(at, space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    if (fields.size() < 13)
        return 0;
    return (atof(fields[11].c_str()) + atof(fields[12].c_str())) / sysconf(_SC_CLK_TCK);
}

// Child process that keeps the whole screen moving: coloured bars that
// slide and a square that bounces, 30 times a second.
int StartMovingContent(const std::string& display) {
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    X11TestScreen screen;
    if (!screen.Open(display.c_str()))
        _exit(1);
    unsigned long window = screen.CreateWindow(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0x000000);
    const uint32_t colours[] = {0xC04020, 0x20A040, 0x2040C0, 0xE0E040, 0x40C0C0, 0xC040C0, 0x808080, 0xF0F0F0};
    for (int frame = 0;; ++frame) {
        int shift = (frame * 13) % 160;
        for (int bar = -1; bar < SCREEN_WIDTH / 80 + 1; ++bar)
            screen.Fill(window, bar * 80 + shift / 2, 0, 80, SCREEN_HEIGHT, colours[(bar + 8) % 8]);
        for (int band = 0; band < SCREEN_HEIGHT / 60; ++band)
            screen.Fill(window, (frame * 17 + band * 97) % SCREEN_WIDTH, band * 60, 120, 30, colours[(band + frame) % 8]);
        int x = (frame * 23) % (2 * (SCREEN_WIDTH - 300));
        int y = (frame * 11) % (2 * (SCREEN_HEIGHT - 300));
        screen.Fill(window, x < SCREEN_WIDTH - 300 ? x : 2 * (SCREEN_WIDTH - 300) - x, y < SCREEN_HEIGHT - 300 ? y : 2 * (SCREEN_HEIGHT - 300) - y,
                    300, 300, colours[frame % 8]);
        usleep(33000);
    }
}

void GrabCost(int serverPid) {
    printf("\n1. One grab of %d x %d (%d grabs of moving content)\n", WIDTH, HEIGHT, GRABS);
    printf("   %-34s %10s %12s %12s\n", "", "wall ms", "our CPU ms", "X CPU ms");
    std::vector<uint8_t> picture((size_t)WIDTH * HEIGHT * 4);
    X11Connection conn;
    conn.Open();
    for (int mode = 0; mode < 3; ++mode) {
        X11ScreenImage image;
        DesktopGrabber grabber;
        const char* name = mode == 0   ? "X11ScreenImage, shared memory"
                           : mode == 1 ? "X11ScreenImage, XGetImage"
                                       : "DesktopGrabber (shm + cursor)";
        if (mode < 2)
            image.Open(&conn, WIDTH, HEIGHT, mode == 0 ? X11ScreenImage::MODE_AUTO : X11ScreenImage::MODE_NO_SHM);
        else
            grabber.Open(0, 0, WIDTH, HEIGHT);
        int64_t t0 = OS_NowMs();
        double cpu0 = ProcessCpuSeconds(), x0 = PidCpuSeconds(serverPid);
        for (int i = 0; i < GRABS; ++i) {
            if (mode < 2)
                image.Grab(0, 0, WIDTH, HEIGHT, picture.data(), WIDTH * 4);
            else
                grabber.Grab(picture.data(), (int)picture.size());
        }
        printf("   %-34s %10.2f %12.2f %12.2f\n", name, (double)(OS_NowMs() - t0) / GRABS,
               (ProcessCpuSeconds() - cpu0) * 1000 / GRABS, (PidCpuSeconds(serverPid) - x0) * 1000 / GRABS);
    }
}

// Pushes each picture (stamped by the task on the recording clock) into the
// packer, or without one releases it at once; counts them and remembers the
// capture thread's CPU clock at the latest picture.
class Counter : public ScreenCapListener {
public:
    int OnScreenFrame(MMPacket* packet) override {
        int64_t frame = RecordingFormat::FrameAt(packet->timestamp, 25);
        if (m_packer)
            m_packer->Push(packet);
        else
            packet->Release();
        if (m_count == 0)
            m_firstFrame = frame;
        m_lastFrame = frame;
        ++m_count;
        m_threadCpu = ThreadCpuSeconds();
        return 0;
    }
    AvPacker* m_packer = nullptr;
    OS_Clock m_clock;
    std::atomic<int> m_count{0};
    std::atomic<int64_t> m_firstFrame{0}, m_lastFrame{0};
    std::atomic<double> m_threadCpu{0};
};

std::string Pacing(const FramePacer::Stats& p) {
    char text[160];
    snprintf(text, sizeof text, "grid lateness mean %.1f ms, max %lld ms; %lld periods missed",
             p.pictures ? (double)p.latenessMsTotal / p.pictures : 0.0, (long long)p.latenessMsMax,
             (long long)p.periodsMissed);
    return text;
}

void CaptureRate(int serverPid) {
    const int seconds = 5;
    Counter counter;
    ScreenCapTask task;
    task.SetListener(&counter);
    task.Open(0, 0, WIDTH, HEIGHT);
    double cpu0 = ProcessCpuSeconds(), x0 = PidCpuSeconds(serverPid);
    task.Start();
    OS_Sleep(seconds * 1000);
    int64_t stop0 = OS_NowMs();
    task.Stop();
    int64_t stopMs = OS_NowMs() - stop0;
    printf("\n2. Capture thread alone, %d x %d, %d s: %.1f pictures/s, %.3f CPU s/s (X server %.3f)\n", WIDTH,
           HEIGHT, seconds, counter.m_count / (double)seconds, (ProcessCpuSeconds() - cpu0) / seconds,
           (PidCpuSeconds(serverPid) - x0) / seconds);
    printf("   %s; Stop took %lld ms\n", Pacing(task.GetPacingStats()).c_str(), (long long)stopMs);
}

int CountVideoPackets(const std::string& path) {
    Mp4Probe probe;
    if (probe.Open(path) != 0)
        return -1;
    int v = probe.FindStream(ProbeStream::VIDEO);
    return v < 0 ? -1 : (int)probe.Packets(v).size();
}

void OurRecording(int width, int height, int seconds, int serverPid, const std::string& file) {
    AvPacker packer;
    Counter counter;
    ScreenCapTask task;
    task.SetFrameClock(&counter.m_clock);
    // as screen mode does while the user chooses what to record
    DesktopGrabber::Prepare(width, height);
    int64_t open0 = OS_NowMs();
    task.Open(0, 0, width, height);
    int64_t openMs = OS_NowMs() - open0;
    if (packer.Open(file.c_str(), width, height, task.bitsPerPixel(), 0, width, height, FPS) != 0) {
        printf("packer did not open\n");
        return;
    }
    counter.m_packer = &packer;
    task.SetListener(&counter);
    double cpu0 = ProcessCpuSeconds(), x0 = PidCpuSeconds(serverPid), main0 = ThreadCpuSeconds();
    counter.m_clock.Start(0);
    task.Start();
    // sound blocks as the sound thread would push them
    int64_t soundFrames = 0;
    for (int64_t end = OS_NowMs() + seconds * 1000; OS_NowMs() < end; OS_Sleep(20)) {
        for (; soundFrames < counter.m_clock.Elapsed() * SOUND_SAMPLE_RATE / 1000; soundFrames += SOUND_BLOCK_FRAMES) {
            MMPacket sound = MakePacket(MMPacket::TYPE_AUDIO, SineBlock(soundFrames, 440), 0, nullptr);
            packer.Push(&sound);
        }
    }
    task.Stop();
    double captureCpu = counter.m_threadCpu;  // the thread's CPU clock starts at 0
    packer.Close();
    double mainCpu = ThreadCpuSeconds() - main0;
    double total = ProcessCpuSeconds() - cpu0, server = PidCpuSeconds(serverPid) - x0;
    AvPacker::Stats s = packer.GetStats();
    double convert = s.convertCpuUs / 1e6, encode = s.encodeCpuUs / 1e6, sound = s.soundCpuUs / 1e6;
    // The encoder's slice threads are neither ours nor the packer's: what
    // no thread we know of used (the packer's own bookkeeping is in it too).
    double slices = total - captureCpu - convert - encode - sound - mainCpu;
    encode += slices;
    double mp = width * height / 1e6;
    printf("\n3. vidloom, %d x %d, %d s through the packer (CPU s per recorded s; per megapixel)\n", width,
           height, seconds);
    printf("   grabbing (capture thread)  %.3f  %.4f   (%lld pictures grabbed, %.1f/s)\n", captureCpu / seconds,
           captureCpu / seconds / mp, (long long)s.picturesPushed, s.picturesPushed / (double)seconds);
    printf("   conversion                 %.3f  %.4f   (%.2f ms a picture)\n", convert / seconds,
           convert / seconds / mp, s.picturesEncoded ? convert * 1000 / s.picturesEncoded : 0.0);
    printf("   encoding and writing       %.3f  %.4f   (%.3f of it on the slice threads)\n", encode / seconds,
           encode / seconds / mp, slices / seconds);
    printf("   sound encoding             %.3f\n", sound / seconds);
    printf("   rest (main thread)         %.3f\n", mainCpu / seconds);
    printf("   whole process              %.3f  %.4f\n", total / seconds, total / seconds / mp);
    printf("   X server                   %.3f  %.4f\n", server / seconds, server / seconds / mp);
    printf("   pictures: %lld refused (2 waiting), %lld skipped (same frame period), %lld encoded; "
           "%d in the file of %d expected\n",
           (long long)s.picturesRefused, (long long)s.picturesSkipped, (long long)s.picturesEncoded,
           CountVideoPackets(file), seconds * FPS);
    printf("   %s; frames %lld to %lld; Open took %lld ms\n", Pacing(task.GetPacingStats()).c_str(),
           (long long)counter.m_firstFrame, (long long)counter.m_lastFrame, (long long)openMs);
}

// Runs ffmpeg with output arguments; its CPU seconds, and the X server's.
void RunFfmpeg(const std::string& display, int seconds, const std::string& output, int serverPid,
               double* cpu, double* server) {
    std::string command = "exec ffmpeg -hide_banner -loglevel fatal -nostdin -y -f x11grab -framerate 25 "
                          "-video_size 1920x1080 -i " + display + "+0,0 -t " + std::to_string(seconds) + " " +
                          output;
    double x0 = PidCpuSeconds(serverPid);
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    rusage u;
    wait4(pid, &status, 0, &u);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fprintf(stderr, "ffmpeg failed: %s\n", command.c_str());
    *cpu = u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    *server = PidCpuSeconds(serverPid) - x0;
}

void FfmpegRecording(const std::string& display, int seconds, int serverPid, const std::string& file) {
    // The packer's settings: MPEG-4 Part 2 at 1.5 Mbit/s, a key frame every
    // 25 pictures, no B-frames, one thread; YUV 4:2:0 converted as the
    // packer does at the same size (point filter, which ffmpeg calls
    // neighbor; its default, bicubic, would cost it more).
    const std::string codec = "-c:v mpeg4 -b:v 1500k -g 25 -bf 0 -threads 1 ";
    const std::string convert = "-pix_fmt yuv420p -sws_flags neighbor ";
    double grab = 0, grabConvert = 0, all = 0, xGrab = 0, xConvert = 0, xAll = 0;
    RunFfmpeg(display, seconds, "-c:v rawvideo -f null -", serverPid, &grab, &xGrab);
    RunFfmpeg(display, seconds, convert + "-c:v rawvideo -f null -", serverPid, &grabConvert, &xConvert);
    RunFfmpeg(display, seconds, convert + codec + file, serverPid, &all, &xAll);
    printf("\n4. ffmpeg -f x11grab, %d s, same codec settings (CPU s per recorded s)\n", seconds);
    printf("   grabbing                   %.3f\n", grab / seconds);
    printf("   conversion                 %.3f\n", (grabConvert - grab) / seconds);
    printf("   encoding and writing       %.3f\n", (all - grabConvert) / seconds);
    printf("   whole process              %.3f\n", all / seconds);
    printf("   X server                   %.3f\n", xAll / seconds);
    printf("   pictures: %d in the file of %d expected\n", CountVideoPackets(file), seconds * FPS);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 20;
    OS_Log::Global().SetLevel(OS_Log::LEVEL_WARNING);
    PrivateXServer server;
    if (!server.Start(std::to_string(SCREEN_WIDTH) + "x" + std::to_string(SCREEN_HEIGHT) + "x24")) {
        fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    // Before any thread exists: the child is a plain copy of this process.
    int animator = StartMovingContent(server.display());
    OS_Sleep(500);
    MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);
    printf("Screen capture benchmark on %s (%d cores; other work on the machine may skew the figures)\n",
           server.display().c_str(), (int)sysconf(_SC_NPROCESSORS_ONLN));

    TempDir dir;
    if (argc <= 2) {
        GrabCost(server.pid());
        CaptureRate(server.pid());
    }
    // Recording sizes: the arguments after the seconds (WxH), or three.
    std::vector<std::pair<int, int>> sizes;
    for (int i = 2; i < argc; ++i) {
        int w = 0, h = 0;
        if (sscanf(argv[i], "%dx%d", &w, &h) == 2)
            sizes.push_back({w, h});
    }
    if (sizes.empty())
        sizes = {{1280, 720}, {1920, 1080}, {2560, 1440}, {3840, 2160}};
    for (auto [w, h] : sizes)
        OurRecording(w, h, seconds, server.pid(), dir.File("vidloom.mp4"));
    if (argc <= 2)
        FfmpegRecording(server.display(), seconds, server.pid(), dir.File("ffmpeg.mp4"));

    kill(animator, SIGTERM);
    waitpid(animator, nullptr, 0);
    return 0;
}
