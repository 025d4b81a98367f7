#include "capture/AudioMixer.h"

#include <cstring>

AudioMixer::AudioMixer() : m_framesPerBlock(0) {}

AudioMixer::~AudioMixer() {
    for (int tag = 0; tag < TRACK_COUNT; ++tag)
        ClearTrack(tag);
}

void AudioMixer::Init(int framesPerBlock) {
    m_framesPerBlock = framesPerBlock;
    for (Track& track : m_tracks)
        track.enabled = false;
}

void AudioMixer::Enable(int tag) {
    if (tag >= 0 && tag < TRACK_COUNT)
        m_tracks[tag].enabled = true;
}

int AudioMixer::Mix(int tag, MMPacket& packet, short* out, int64_t* timestamp) {
    if (tag < 0 || tag >= TRACK_COUNT) {
        packet.Release();
        return 0;
    }
    // the queued copy owns the data from now on
    m_tracks[tag].packets.push_back(packet);
    packet.owns = false;

    // wait until every enabled track has a block
    for (const Track& track : m_tracks) {
        if (track.enabled && track.packets.empty())
            return 0;
    }

    // s = a + b - a*b / 65536, clamped: louder where both sound, never past full scale
    const int n = m_framesPerBlock * 2;
    memset(out, 0, (size_t)m_framesPerBlock * 4);
    bool first = true;
    for (Track& track : m_tracks) {
        if (!track.enabled)
            continue;
        MMPacket block = track.packets.front();
        track.packets.pop_front();
        if (timestamp && (first || block.timestamp < *timestamp))
            *timestamp = block.timestamp;
        first = false;
        // a short block counts as silence past its end
        const int samples = block.data ? block.size / 2 : 0;
        const int16_t* in = reinterpret_cast<const int16_t*>(block.data);
        for (int i = 0; i < n && i < samples; ++i) {
            int32_t a = out[i];
            int32_t b = in[i];
            int32_t s = a + b - ((a * b) >> 16);
            if (s > 32767)
                s = 32767;
            else if (s < -32768)
                s = -32768;
            out[i] = (short)s;
        }
        block.Release();
    }
    return 1;
}

void AudioMixer::ClearTrack(int tag) {
    if (tag < 0 || tag >= TRACK_COUNT)
        return;
    Track& track = m_tracks[tag];
    track.enabled = false;
    for (MMPacket& block : track.packets)
        block.Release();
    track.packets.clear();
}

void AudioMixer::Clear() {
    ClearTrack(0);
    ClearTrack(1);
}
