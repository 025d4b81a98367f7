// The camera window recording the test camera's 640 x 480 YUY2 pictures at
// 30 a second for a while (60 s by default) with the preview showing and
// the microphone mixed with the stereo mix. Reports CPU seconds of this
// process per recorded second (and without the test camera's own picture
// drawing, which a real camera does not cost), pictures written against
// those expected at 25 a second, preview pictures drawn a second, and the
// peak resident memory.
//
//   scripts/build.sh build -- CameraRecorderBench
//   scripts/with-test-servers.sh build/bin/CameraRecorderBench [seconds]
#include <sys/resource.h>
#include <unistd.h>

#include <QComboBox>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/MemPool.h"
#include "os/OS_Log.h"
#include "platform/testcam/TestCameraDevice.h"
#include "bench/CpuTime.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"
#include "ui/CameraRecorder.h"
#include "ui/GLWidget.h"
#include "ui/TextCodec.h"

int main(int argc, char** argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    if (!getenv("DISPLAY") || !getenv("PULSE_SERVER")) {
        fprintf(stderr, "run under scripts/with-test-servers.sh\n");
        return 1;
    }
    setenv("VIDLOOM_TEST_CAMERA", "1", 1);
    TempDir dir;
    WriteFileText(dir.File("default.cfg"), "camera.reverse=0\n");
    RunCommand("mkdir " + dir.File("output"));
    if (chdir(dir.Path().c_str()) != 0)
        return 1;
    OS_Log::Global().Open("vidloom.log.txt");
    MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);
    // A steady stereo mix (the test tone's sink) and a microphone.
    std::string module =
        RunCommand("pactl load-module module-sine-source source_name=bench_mic rate=11025 frequency=1000");

    GuiTestApp();
    InitTextCodec();
    CameraRecorder window;
    window.show();
    WaitExposed(&window);
    window.findChild<QComboBox*>("cbxUseMic")->setCurrentIndex(CameraRecorder::SOUND_MICROPHONE_AND_MIX);
    GLWidget* preview = window.findChild<GLWidget*>("videobox");
    ProcessEventsFor(1000);

    double cpu0 = ProcessCpuSeconds(), generator0 = TestCameraDevice::GeneratorCpuSeconds();
    int64_t drawn0 = preview->DrawnPictures();
    int64_t start = OS_NowMs();
    if (window.OnStartRecord() != 0) {
        fprintf(stderr, "the recording did not start\n");
        return 1;
    }
    ProcessEventsFor(seconds * 1000);
    window.OnStopRecord();
    double wall = (OS_NowMs() - start) / 1000.0;
    double cpu = ProcessCpuSeconds() - cpu0;
    double generator = TestCameraDevice::GeneratorCpuSeconds() - generator0;
    int64_t drawn = preview->DrawnPictures() - drawn0;

    std::string files = RunCommand("ls output");
    std::string path = dir.File("output/" + files.substr(0, files.find('\n')));
    Mp4Probe probe;
    if (probe.Open(path) != 0) {
        fprintf(stderr, "cannot read %s: %s\n", path.c_str(), probe.Error().c_str());
        return 1;
    }
    int v = probe.FindStream(ProbeStream::VIDEO);
    const std::vector<ProbePacket>& packets = probe.Packets(v);
    double span = packets.empty() ? 0
                                  : probe.Streams()[v].ToSeconds(packets.back().pts + packets.back().duration -
                                                                 packets.front().pts);
    int expected = (int)(span * 25 + 0.5);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);

    printf("recorded            %.2f s of %.2f s wall (asked %d s)\n", span, wall, seconds);
    printf("CPU                 %.3f CPU s per recorded s (%.2f s)\n", cpu / span, cpu);
    printf("  without test cam  %.3f CPU s per recorded s (its picture drawing %.2f s)\n",
           (cpu - generator) / span, generator);
    printf("pictures            %zu of %d expected (%.2f %%)\n", packets.size(), expected,
           expected ? 100.0 * packets.size() / expected : 0.0);
    printf("preview             %.1f pictures drawn a second (camera: 30)\n", drawn / wall);
    printf("peak RSS            %.1f MB\n", usage.ru_maxrss / 1024.0);
    printf("sound               %s\n", probe.FindStream(ProbeStream::AUDIO) >= 0 ? "present" : "MISSING");
    RunCommand("pactl unload-module " + module);
    return 0;
}
