// Runs the test camera at 640x480 YUY2, 30 frames a second, for a minute and
// reports frames delivered against the frames the clock says were due,
// frames lost or out of order (read from the pictures), and the CPU time per
// second of the delivery thread, with the picture generator counted apart.
//
//   build/bin/CameraBench [seconds]
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "capture/CameraCallback.h"
#include "capture/CameraCapture.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"
#include "platform/testcam/TestCameraDevice.h"
#include "platform/testcam/TestCameraPattern.h"
#include "bench/CpuTime.h"

namespace {

// Stands in for the camera window: looks at each frame's number and notes
// the delivery thread's CPU time. Runs on that thread only.
struct Counter : CameraCallback {
    int width = 0, height = 0, lineBytes = 0, bitCount = 0;
    std::atomic<long> frames{0};
    long outOfOrder = 0;
    int64_t lastNumber = -1;
    double firstCpu = 0, lastCpu = 0;

    int OnCameraFrame(double, unsigned char* data, long) override {
        double cpu = ThreadCpuSeconds();
        if (frames == 0)
            firstCpu = cpu;
        lastCpu = cpu;
        int64_t number = ReadTestCameraFrameNumber(data, width, height, lineBytes, bitCount);
        if (number != lastNumber + 1)
            ++outOfOrder;
        lastNumber = number;
        ++frames;
        return 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? atoi(argv[1]) : 60;
    setenv("VIDLOOM_TEST_CAMERA", "1", 1);
    OS_Log::Global().Open(nullptr);
    OS_Log::Global().SetEcho(false);

    Counter counter;
    CameraCapture capture;
    if (capture.Open(TestCameraDevice::PATH, &counter, 640, 480) != 0 || capture.bitCount != 16) {
        fprintf(stderr, "cannot open the test camera in 640x480 YUY2\n");
        return 1;
    }
    counter.width = capture.width;
    counter.height = capture.height;
    counter.lineBytes = capture.lineBytes;
    counter.bitCount = capture.bitCount;

    const double generatorBefore = TestCameraDevice::GeneratorCpuSeconds();
    const int64_t started = OS_NowMs();
    capture.Start();
    OS_Sleep(unsigned(seconds) * 1000);
    capture.Stop();
    const double elapsed = (OS_NowMs() - started) / 1000.0;
    const double generator = TestCameraDevice::GeneratorCpuSeconds() - generatorBefore;
    capture.Close();

    // the first frame is due at once, then one every 1/30 s
    const long expected = long(elapsed * 30) + 1;
    const double thread = counter.lastCpu - counter.firstCpu;
    printf("camera 640x480 YUY2 at %d fps for %.1f s\n", capture.fps, elapsed);
    printf("frames delivered %ld, expected %ld (%.2f%%), out of order or lost %ld\n",
           counter.frames.load(), expected, 100.0 * counter.frames / expected, counter.outOfOrder);
    printf("delivery thread CPU %.5f s/s in all: picture generator %.5f s/s, delivery %.5f s/s\n",
           thread / elapsed, generator / elapsed, (thread - generator) / elapsed);
    return 0;
}
