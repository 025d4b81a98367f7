// vidloom:sanitize
// The sound mixer: signed sums that saturate, a source that stops holding nothing up for long, and
// sources kept in step by their capture times (a late start, a drifting clock).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "capture/AudioMixer.h"
#include "media/MMPacket.h"

namespace {

const int RATE = 11025;
const int FRAMES = 1024;
const int SAMPLES = FRAMES * 2;
const double BLOCK_S = (double)FRAMES / RATE;

class AudioMixerTest : public ::testing::Test {
protected:
    void SetUp() override { mixer.Init(FRAMES); }

    // Mixes one block captured at seconds; keeps what comes out.
    int Feed(int tag, double seconds, const std::vector<short>& samples) {
        std::vector<MMPacket> mixed;
        int count = mixer.Mix(tag, std::llround(seconds * 1e6), samples.data(), (int)samples.size() * 2, mixed);
        EXPECT_EQ((size_t)count, mixed.size());
        for (MMPacket& packet : mixed) {
            EXPECT_EQ(SAMPLES * 2, packet.size);
            EXPECT_EQ(MMPacket::TYPE_AUDIO, packet.type);
            times.push_back(packet.timestamp / 1e6);
            const short* s = reinterpret_cast<const short*>(packet.data);
            out.insert(out.end(), s, s + SAMPLES);
            packet.Release();
        }
        return count;
    }
    int Feed(int tag, double seconds, short value) { return Feed(tag, seconds, std::vector<short>(SAMPLES, value)); }
    short Last() const { return out.back(); }

    AudioMixer mixer;
    std::vector<double> times;  // each mixed block's time
    std::vector<short> out;     // every mixed sample in order
};

// A source whose clock runs speed times real time, starting at startS: sample frame n is captured at
// startS + n / (RATE * speed). Its sound is `level` for the first 10 ms of every whole second.
struct Source {
    double startS;
    double speed;
    short level;

    double Time(int64_t frame) const { return startS + frame / (RATE * speed); }
    std::vector<short> Block(int64_t first) const {
        std::vector<short> samples(SAMPLES);
        for (int i = 0; i < FRAMES; ++i) {
            double t = Time(first + i);
            samples[2 * i] = samples[2 * i + 1] = t - std::floor(t) < 0.01 ? level : 0;
        }
        return samples;
    }
};

}  // namespace

// Also: a track that stops delivering holds the mix up at most MAX_WAIT_MS, then counts as silence.
TEST_F(AudioMixerTest, AddsSignedSamplesWithSaturationAndWaitsBoundedly) {
    EXPECT_EQ(1, Feed(0, 5.0, 100)) << "one track alone passes at once";
    EXPECT_EQ(0, Feed(1, 5.0, 7)) << "its place has been given out: dropped";
    EXPECT_EQ(0, Feed(0, 5.0 + BLOCK_S, 30000)) << "waits for the second track";
    EXPECT_EQ(1, Feed(1, 5.0 + BLOCK_S, 30000));
    EXPECT_EQ(std::vector<short>(SAMPLES, 32767), std::vector<short>(out.end() - SAMPLES, out.end()));
    Feed(0, 5.0 + 2 * BLOCK_S, -30000);
    EXPECT_EQ(1, Feed(1, 5.0 + 2 * BLOCK_S, -30000));
    EXPECT_EQ(-32768, Last());
    Feed(1, 5.0 + 3 * BLOCK_S, -200);
    EXPECT_EQ(1, Feed(0, 5.0 + 3 * BLOCK_S, 100));
    EXPECT_EQ(-100, Last()) << "signed: no product term";
    for (size_t n = 0; n < times.size(); ++n)
        EXPECT_NEAR(5.0 + n * BLOCK_S, times[n], 1e-6) << "stamped with the first sample's time";

    const int blocks = 200;
    for (int n = 4; n < blocks; ++n)
        Feed(0, 5.0 + n * BLOCK_S, 20);
    EXPECT_GE((int)times.size(), blocks - std::ceil(AudioMixer::MAX_WAIT_MS / 1000.0 / BLOCK_S) - 1);
    EXPECT_EQ(20, Last()) << "the stopped track adds nothing";
    EXPECT_EQ(0, Feed(3, 9.0, 1)) << "no such track";
    mixer.Clear();
    EXPECT_EQ(1, Feed(1, 9.0, 55)) << "after Clear a track starts alone, at its own time";
    EXPECT_NEAR(9.0, times.back(), 1e-6);
}

// Ten minutes of a microphone and a stereo mix that starts 1.5 s late on a clock 0.2 % fast: each
// source's marks stay within 40 ms of their capture time in the mix.
TEST_F(AudioMixerTest, KeepsTwoSourcesInStepByCaptureTime) {
    const Source sources[2] = {{0.0, 1.0, 1000}, {1.5, 1.002, 3000}};
    int64_t next[2] = {0, 0};
    const double END_S = 600.0;
    // blocks arrive when their last sample has been captured
    while (true) {
        int tag = sources[0].Time(next[0] + FRAMES) <= sources[1].Time(next[1] + FRAMES) ? 0 : 1;
        if (sources[tag].Time(next[tag]) > END_S)
            break;
        Feed(tag, sources[tag].Time(next[tag]), sources[tag].Block(next[tag]));
        next[tag] += FRAMES;
    }
    ASSERT_GT(times.size(), (size_t)(END_S / BLOCK_S) - 40);
    for (int tag = 0; tag < 2; ++tag) {
        SCOPED_TRACE(tag);
        int marks = 0;
        double worst = 0;
        bool was = false;
        for (size_t i = 0; i < out.size(); i += 2) {
            short v = out[i];
            bool is = tag == 0 ? v == 1000 || v == 4000 : v >= 3000;
            if (is && !was) {
                double t = times[i / SAMPLES] + (double)(i % SAMPLES) / 2 / RATE;
                worst = std::max(worst, std::fabs(t - std::round(t)));
                ++marks;
            }
            was = is;
        }
        EXPECT_GT(marks, 590);
        EXPECT_LT(worst, 0.040);
    }
}
