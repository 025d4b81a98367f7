#pragma once

#include <cstdint>
#include <vector>

#include "media/MMPacket.h"
#include "os/OS_Mutex.h"

// Adds the sound of up to three sources into one stream, sample by sample,
// each source's samples at the place their capture time gives them. Track n
// is fed by the Recorder whose tag is n (0 microphone, 1 stereo mix); a
// track is switched on by its first block.
//
// The mixed stream starts at the capture time of the first block of any
// track. A track that starts late, stalls or runs off its own clock keeps
// its place: gaps become silence, and a track whose blocks drift from their
// place (device clocks differ by a few parts in a thousand) is moved back in
// small steps. A mixed block is given out once every track has sound for
// it, or once some track is MAX_WAIT_MS ahead of it (a track that stopped
// then counts as silence), so no queue grows without bound.
//
// Threads: Mix and Clear from any thread (the two capture threads); one
// lock inside, held only while the mixer's own lists change.
class AudioMixer {
public:
    static constexpr int TRACK_COUNT = 3;
    // How long the mix waits for a track that has not delivered: longer than
    // the longest burst a source hands over (the servers' timer-driven
    // sources send up to 2 s at once), short enough to bound the queues.
    static constexpr int MAX_WAIT_MS = 3000;
    // A block this far from its place (a stall, a clock jump) is put there
    // at once.
    static constexpr int JUMP_MS = 200;
    // A block further off than this is a jump of its source's clock, not a
    // gap: the track keeps running on, shifted, instead of filling seconds
    // of silence or dropping sound.
    static constexpr int CLOCK_JUMP_MS = 5000;
    // A smaller offset is corrected once its smoothed value passes this,
    // by this much: well inside the 40 ms at which two sources sound apart.
    static constexpr int DRIFT_MS = 15;
    // Blocks over which the offset is smoothed.
    static constexpr int SMOOTHING_BLOCKS = 16;

    AudioMixer();

    // Stores the block length in frames (stereo 16-bit samples at the
    // recording's sample rate) and clears every track.
    void Init(int framesPerBlock);
    // Samples a second per channel of every track (the default until set);
    // clears every track.
    void SetSampleRate(int sampleRate);
    // Takes one block of track tag (size bytes of interleaved stereo 16-bit
    // samples; copied) whose first sample was captured at timeUs, and
    // appends to mixed the blocks that are now complete, in order, each an
    // audio packet of framesPerBlock frames stamped with the capture time of
    // its first sample (same clock as timeUs). Returns how many were added.
    // A block of an unknown tag is ignored.
    int Mix(int tag, int64_t timeUs, const void* data, int size, std::vector<MMPacket>& mixed);
    // Drops every track and the start: the next block starts anew.
    void Clear();

private:
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    struct Track {
        bool enabled = false;
        int64_t start = 0;             // mix position of samples[0], in frames
        std::vector<int16_t> samples;  // interleaved stereo, not yet mixed
        int64_t shift = 0;             // frames taken off this track's positions (clock jumps)
        double offset = 0;             // smoothed offset of its blocks from their place, frames
        int64_t End() const { return start + (int64_t)samples.size() / 2; }
    };

    // Frames of sound in us microseconds, and back.
    int64_t FramesOf(double us) const;
    int64_t UsOf(int64_t frames) const;
    // With m_lock held: puts frames at position on track t.
    void Place(Track& t, int64_t position, const int16_t* samples, int64_t frames);
    // With m_lock held: mixes the next block into a packet, if it is due.
    bool MixNext(MMPacket& packet);

    OS_Mutex m_lock;  // guards everything below
    int m_sampleRate;
    Track m_tracks[TRACK_COUNT];
    int32_t m_framesPerBlock;
    bool m_started;          // m_startUs holds the mix's start
    int64_t m_startUs;       // capture time of mix position 0
    int64_t m_position;      // mix position of the next block to give out
    std::vector<int16_t> m_out;  // the block being mixed
};
