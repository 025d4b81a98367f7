// The three-track mixer: waiting for every enabled track, the mixing sum
// and its clamping, pass-through of a single track, and clearing.
#include <gtest/gtest.h>

#include <vector>

#include "capture/AudioMixer.h"
#include "media/MMPacket.h"

namespace {

const int FRAMES = 1024;
const int SAMPLES = FRAMES * 2;

// A heap packet of one block, every sample set to value.
MMPacket Block(short value) {
    std::vector<short> samples(SAMPLES, value);
    MMPacket packet;
    packet.type = MMPacket::TYPE_AUDIO;
    packet.Fill(samples.data(), SAMPLES * 2, 0);
    return packet;
}

class AudioMixerTest : public ::testing::Test {
protected:
    void SetUp() override {
        mixer.Init(FRAMES);
        out.assign(SAMPLES, 1234);
    }

    // Enables tag and mixes one block of value, as the camera window does.
    int Feed(int tag, short value) {
        mixer.Enable(tag);
        MMPacket packet = Block(value);
        int result = mixer.Mix(tag, packet, out.data());
        EXPECT_FALSE(packet.owns) << "the mixer takes the data over";
        return result;
    }

    AudioMixer mixer;
    std::vector<short> out;
};

}  // namespace

TEST_F(AudioMixerTest, WaitsForEveryEnabledTrackThenMixesOneBlockOfEach) {
    EXPECT_EQ(1, Feed(1, 100)) << "only track 1 is enabled so far";
    EXPECT_EQ(0, Feed(0, 16384)) << "track 1 has no block queued";
    EXPECT_EQ(0, Feed(0, 16384));
    EXPECT_EQ(1, Feed(1, 16384));
    // 16384 + 16384 - 16384 * 16384 / 65536
    for (int i = 0; i < SAMPLES; ++i)
        ASSERT_EQ(28672, out[i]) << "sample " << i;
    // the second microphone block is still queued: the next stereo block mixes with it
    EXPECT_EQ(1, Feed(1, 0));
    EXPECT_EQ(16384, out[0]);
    EXPECT_EQ(0, Feed(0, 5)) << "both queues are empty again";
}

TEST_F(AudioMixerTest, ClampsAtFullScale) {
    mixer.Enable(0);
    Feed(1, 30000);
    Feed(1, -30000);
    EXPECT_EQ(1, Feed(0, 30000));  // 30000 + 30000 - 13732 = 46268
    EXPECT_EQ(32767, out[0]);
    EXPECT_EQ(32767, out[SAMPLES - 1]);
    EXPECT_EQ(1, Feed(0, -30000));  // -30000 - 30000 - 13732 = -73732
    EXPECT_EQ(-32768, out[0]);
    EXPECT_EQ(-32768, out[SAMPLES - 1]);
}

TEST_F(AudioMixerTest, SingleTrackPassesThroughUnchanged) {
    std::vector<short> samples(SAMPLES);
    for (int i = 0; i < SAMPLES; ++i)
        samples[i] = (short)(i * 37 - 32768);
    for (int round = 0; round < 3; ++round) {
        mixer.Enable(1);
        MMPacket packet;
        packet.Fill(samples.data(), SAMPLES * 2, 0);
        ASSERT_EQ(1, mixer.Mix(1, packet, out.data()));
        EXPECT_EQ(samples, out);
    }
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
    EXPECT_EQ(0, Feed(0, 400));
}

TEST_F(AudioMixerTest, ShortBlocksAndUnknownTagsAreHandledSafely) {
    // a block shorter than framesPerBlock counts as silence past its end
    short few[4] = {1000, 1000, 1000, 1000};
    MMPacket packet;
    packet.Fill(few, sizeof few, 0);
    mixer.Enable(2);
    ASSERT_EQ(1, mixer.Mix(2, packet, out.data()));
    EXPECT_EQ(1000, out[3]);
    EXPECT_EQ(0, out[4]);
    EXPECT_EQ(0, out[SAMPLES - 1]);

    MMPacket stray = Block(1);
    EXPECT_EQ(0, mixer.Mix(3, stray, out.data()));
    EXPECT_EQ(0, mixer.Mix(-1, stray, out.data()));
    EXPECT_TRUE(stray.IsEmpty()) << "the stray block is released";
}
