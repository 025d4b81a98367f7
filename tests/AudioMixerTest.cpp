// The three-track mixer: waiting for every enabled track, the sum and its clamping, one track alone, Clear.
#include <gtest/gtest.h>

#include <vector>

#include "capture/AudioMixer.h"
#include "media/MMPacket.h"

namespace {

const int FRAMES = 1024;
const int SAMPLES = FRAMES * 2;

class AudioMixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mixer.Init(FRAMES);
        out.assign(SAMPLES, 1234);
    }

    // Enables tag and mixes one heap block, as the camera window does.
    int Feed(int tag, const std::vector<short>& samples) {
        mixer.Enable(tag);
        MMPacket packet;
        packet.Fill(samples.data(), (int)samples.size() * 2, 0);
        int result = mixer.Mix(tag, packet, out.data());
        EXPECT_TRUE(!packet.owns || packet.IsEmpty()) << "the mixer takes the data over or releases it";
        return result;
    }
    int Feed(int tag, short value) { return Feed(tag, std::vector<short>(SAMPLES, value)); }

    AudioMixer mixer;
    std::vector<short> out;
};

}  // namespace

TEST_F(AudioMixerTest, WaitsForEveryEnabledTrackThenMixesAndClamps) {
    EXPECT_EQ(1, Feed(1, 100)) << "only track 1 is enabled so far";
    EXPECT_EQ(0, Feed(0, 16384)) << "track 1 has no block queued";
    EXPECT_EQ(0, Feed(0, 16384));
    EXPECT_EQ(1, Feed(1, 16384));
    // 16384 + 16384 - 16384 * 16384 / 65536
    EXPECT_EQ(std::vector<short>(SAMPLES, 28672), out);
    // the second microphone block is still queued: the next stereo block mixes with it
    EXPECT_EQ(1, Feed(1, 0));
    EXPECT_EQ(16384, out[0]);

    Feed(1, 30000);
    Feed(1, -30000);
    EXPECT_EQ(1, Feed(0, 30000));  // 30000 + 30000 - 13732 = 46268
    EXPECT_EQ(std::vector<short>(SAMPLES, 32767), out);
    EXPECT_EQ(1, Feed(0, -30000));  // -30000 - 30000 - 13732 = -73732
    EXPECT_EQ(std::vector<short>(SAMPLES, -32768), out);
}

TEST_F(AudioMixerTest, SingleTrackPassesThroughAndShortBlocksEndInSilence) {
    std::vector<short> samples(SAMPLES);
    for (int i = 0; i < SAMPLES; ++i)
        samples[i] = (short)(i * 37 - 32768);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(1, Feed(1, samples));
        EXPECT_EQ(samples, out);
    }
    ASSERT_EQ(1, Feed(1, std::vector<short>(4, 1000)));
    std::vector<short> expected(SAMPLES, 0);
    std::fill(expected.begin(), expected.begin() + 4, 1000);
    EXPECT_EQ(expected, out);
    // blocks of tracks that do not exist are released, not stored
    EXPECT_EQ(0, Feed(3, 1));
    EXPECT_EQ(0, Feed(-1, 1));
}

TEST_F(AudioMixerTest, ClearDropsQueuedBlocksAndDisablesTracks) {
    Feed(1, 100);
    EXPECT_EQ(0, Feed(0, 200));  // track 1 empty now, so this waits
    mixer.Clear();
    // after Clear the microphone's first block passes alone, unmixed
    EXPECT_EQ(1, Feed(0, 300));
    EXPECT_EQ(300, out[0]);
    // from the stereo mix's first block on, every output holds one of each
    EXPECT_EQ(0, Feed(1, 1000));
    EXPECT_EQ(1, Feed(0, 400));
    EXPECT_EQ(1400 - (1000 * 400 >> 16), out[0]);
}
