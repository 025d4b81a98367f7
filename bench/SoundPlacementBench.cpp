// Feeds the packer 30 minutes (or argv[1] minutes) of sound blocks whose
// dates jitter and whose device clock drifts, and reports how often the
// packer moved the sound (steps of SOUND_STEP_MS) and how far off it ends:
// a steady offset needs no step at all, a drift only as many as it covers.
//
//   build/bin/SoundPlacementBench [minutes]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "media/AvPacker.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"
#include "tests/support/TestEnv.h"

int main(int argc, char** argv) {
    double minutes = argc > 1 ? atof(argv[1]) : 30.0;
    OS_Log::Global().Open(nullptr);
    OS_Log::Global().SetLevel(OS_Log::LEVEL_WARNING);
    const struct {
        double ppm;       // device clock fast by this much
        double jitterMs;  // standard deviation of the block dates
    } cases[] = {{0, 5}, {0, 15}, {100, 5}, {2000, 2}};
    const double rate = AvPacker::AUDIO_SAMPLE_RATE;
    const int64_t blocks = (int64_t)(minutes * 60 * rate / AvPacker::AUDIO_FRAME_SAMPLES);
    std::vector<uint8_t> silence(AvPacker::AUDIO_FRAME_SAMPLES * 4, 0);
    TempDir dir;
    for (const auto& c : cases) {
        AvPacker packer;
        if (packer.Open(dir.File("placement.mp4").c_str(), 64, 48, 32, 0, 64, 48, 25) != 0)
            return 1;
        std::mt19937 random(1);
        std::normal_distribution<double> jitter(0, c.jitterMs / 1000.0);
        for (int64_t k = 0; k < blocks; ++k) {
            double t = k * AvPacker::AUDIO_FRAME_SAMPLES / (rate * (1 + c.ppm * 1e-6)) + jitter(random);
            MMPacket packet;
            packet.Fill(silence.data(), (int)silence.size(), std::llround(t * 1e6));
            packet.type = MMPacket::TYPE_AUDIO;
            packer.Push(&packet);
            if (k % 100 == 0)
                OS_Sleep(10);  // keeps the queue short
        }
        packer.Close();
        AvPacker::Stats s = packer.GetStats();
        double movedMs = (s.soundTrimmed - s.soundSilence) * 1000.0 / rate;
        double driftMs = minutes * 60 * c.ppm * 1e-3;
        printf("clock %+5.0f ppm, dates jitter %4.1f ms: %3lld steps of %d ms in %.0f min; "
               "offset at the end %+.1f ms\n",
               c.ppm, c.jitterMs, (long long)llround((s.soundTrimmed + s.soundSilence) * 1000.0 / rate / AvPacker::SOUND_STEP_MS),
               AvPacker::SOUND_STEP_MS, minutes, driftMs - movedMs);
    }
    return 0;
}
