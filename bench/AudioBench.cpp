// Records the microphone and the stereo mix of the test sound server for a
// minute and mixes them as the camera window does. Reports the CPU time per
// second of sound, blocks lost (a gap in either tone) and how long after
// their capture the blocks arrive.
//
//   scripts/with-test-servers.sh build/bin/AudioBench [seconds]
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/CpuTime.h"
#include "capture/AudioInputDevice.h"
#include "capture/AudioMixer.h"
#include "capture/Recorder.h"
#include "media/MMPacket.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"
#include "os/OS_Mutex.h"
#include "os/OS_MutexLocker.h"

namespace {

const int CHANNELS = 2;
const int RATE = 11025;
const int FRAMES = 1024;
const double TONE_HZ = 440.0;
// Largest step from a 440 Hz tone's prediction at a block boundary that
// still counts as continuous. A lost block jumps by thousands; the monitor
// passes the server's resampler, so it gets more room than the sine source.
const double BREAK_TOLERANCE[2] = {8.0, 2000.0};


// What one source has delivered, and how its block count kept pace with
// the wall clock (lag = wall time since start - sound time).
struct TrackStats {
    int blocks = 0;
    int breaks = 0;
    int16_t last[2] = {0, 0};  // last two left samples of the previous block
    double firstLagMs = 0.0;
    // least squares of lag over wall time, for the drift rate
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    double minLagMs = 1e9, maxLagMs = -1e9;
};

// Stands in for the recording engine: hands each block with its capture
// time to the mixer, which locks for itself.
class MixingWindow : public RecorderCallback {
public:
    MixingWindow() : m_start(0), m_mixed(0) {
        m_lock.Init();
        m_mixer.Init(FRAMES);
    }

    void Start() {
        m_mixer.Clear();
        OS_MutexLocker guard(m_lock);
        m_start = OS_NowMs();
    }

    int OnAudioData(int tag, double time, const void* data, int size) override {
        {
            OS_MutexLocker guard(m_lock);
            Account(tag, time, static_cast<const int16_t*>(data));
        }
        std::vector<MMPacket> mixed;
        m_mixer.Mix(tag, std::llround(time * 1e6), data, size, mixed);
        for (MMPacket& packet : mixed)
            packet.Release();
        OS_MutexLocker guard(m_lock);
        m_mixed += (int)mixed.size();
        return 0;
    }

    void Report(double seconds, double cpu) {
        OS_MutexLocker guard(m_lock);
        double sound = m_mixed * (double)FRAMES / RATE;
        printf("run: %.1f s wall, %d mixed blocks = %.1f s of sound\n", seconds, m_mixed, sound);
        printf("CPU: %.3f s in all, %.5f s per second of sound\n", cpu, sound > 0 ? cpu / sound : 0.0);
        const char* names[2] = {"microphone (sine source)", "stereo mix (monitor)"};
        int lost = 0;
        for (int tag = 0; tag < 2; ++tag) {
            TrackStats& t = m_tracks[tag];
            double slope = t.n > 1 ? (t.n * t.sxy - t.sx * t.sy) / (t.n * t.sxx - t.sx * t.sx) : 0.0;
            printf("%s: %d blocks, %d lost; lag at first block %.0f ms, over the run %.0f..%.0f ms, "
                   "drift %+.2f ms per minute\n",
                   names[tag], t.blocks, t.breaks, t.firstLagMs, t.minLagMs, t.maxLagMs, slope * 60.0);
            lost += t.breaks;
        }
        printf("blocks lost: %d\n", lost);
    }

private:
    // With m_lock held.
    void Account(int tag, double time, const int16_t* pcm) {
        if (tag < 0 || tag > 1)
            return;
        TrackStats& t = m_tracks[tag];
        double wall = (OS_NowMs() - m_start) / 1000.0;
        // time is the block's capture time: the lag is how late it arrives
        double lagMs = (OS_NowMs() / 1000.0 - time) * 1000.0;
        if (t.blocks == 0)
            t.firstLagMs = lagMs;
        else {
            // continuity of the tone across the boundary (left channel)
            const double k = 2.0 * cos(2.0 * M_PI * TONE_HZ / RATE);
            double r0 = t.last[0] + pcm[0] - k * t.last[1];
            double r1 = t.last[1] + pcm[2] - k * pcm[0];
            if (fabs(r0) > BREAK_TOLERANCE[tag] || fabs(r1) > BREAK_TOLERANCE[tag])
                ++t.breaks;
        }
        t.last[0] = pcm[FRAMES * 2 - 4];
        t.last[1] = pcm[FRAMES * 2 - 2];
        ++t.blocks;
        t.n += 1;
        t.sx += wall;
        t.sy += lagMs;
        t.sxx += wall * wall;
        t.sxy += wall * lagMs;
        t.minLagMs = std::min(t.minLagMs, lagMs);
        t.maxLagMs = std::max(t.maxLagMs, lagMs);
    }

    AudioMixer m_mixer;
    OS_Mutex m_lock;  // guards everything below
    int64_t m_start;
    int m_mixed;
    TrackStats m_tracks[2];
};

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    OS_Log::Global().Open(nullptr);
    OS_Log::Global().SetLevel(OS_Log::LEVEL_WARNING);

    std::vector<AudioInputDevice> devices;
    if (EnumerateSoundCaptureDevices(devices) != 0) {
        fprintf(stderr, "no sound server: run under scripts/with-test-servers.sh\n");
        return 1;
    }
    std::string mixGuid;
    std::string micGuid;
    FindMixAndMicDevices(devices, mixGuid, micGuid);
    if (mixGuid.empty() || micGuid.empty()) {
        fprintf(stderr, "the server offers no microphone and stereo mix pair\n");
        return 1;
    }

    MixingWindow window;
    Recorder* mic = new Recorder(&window);
    Recorder* mix = new Recorder(&window);
    if (mic->Open(micGuid.c_str(), 0, CHANNELS, RATE, FRAMES) != 0 ||
        mix->Open(mixGuid.c_str(), 1, CHANNELS, RATE, FRAMES) != 0) {
        fprintf(stderr, "cannot open the two sources\n");
        mic->Close();
        mix->Close();
        delete mic;
        delete mix;
        return 1;
    }

    double cpu0 = ProcessCpuSeconds();
    int64_t t0 = OS_NowMs();
    window.Start();
    mic->StartCapture();
    mix->StartCapture();
    OS_Sleep((unsigned)seconds * 1000);
    mic->StopCapture();
    mic->Close();
    mix->StopCapture();
    mix->Close();
    double cpu = ProcessCpuSeconds() - cpu0;
    double wall = (OS_NowMs() - t0) / 1000.0;
    delete mic;
    delete mix;

    window.Report(wall, cpu);
    return 0;
}
