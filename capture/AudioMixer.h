#pragma once

#include <cstdint>
#include <list>

#include "media/MMPacket.h"

// Adds the sound blocks of up to three sources sample by sample into one
// stream. Track n is fed by the Recorder whose tag is n (0 microphone,
// 1 stereo mix). No lock of its own: the owner serialises every call with
// its mixing mutex, because two capture threads feed it.
class AudioMixer {
public:
    static constexpr int TRACK_COUNT = 3;

    AudioMixer();
    // Releases the blocks still queued.
    ~AudioMixer();

    // Stores the block length in frames (stereo) and disables every track.
    void Init(int framesPerBlock);
    // Switches track tag on; called before each Mix of that tag.
    void Enable(int tag);
    // Queues packet on track tag and takes its data over (the caller's
    // packet no longer owns it). When every enabled track has a block,
    // mixes one block of each into out (framesPerBlock x 2 samples), sets
    // *timestamp (when given) to the earliest timestamp of the blocks mixed
    // and returns 1; otherwise returns 0. An unknown tag only releases
    // packet.
    int Mix(int tag, MMPacket& packet, short* out, int64_t* timestamp = nullptr);
    // Disables track tag and releases what it holds.
    void ClearTrack(int tag);
    // Clears tracks 0 and 1; called when a recording starts.
    void Clear();

private:
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    struct Track {
        bool enabled = false;
        std::list<MMPacket> packets;  // oldest first
    };

    Track m_tracks[TRACK_COUNT];
    int32_t m_framesPerBlock;
};
