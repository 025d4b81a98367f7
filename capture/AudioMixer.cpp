#include "capture/AudioMixer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "media/RecordingFormat.h"
#include "os/OS_MutexLocker.h"

AudioMixer::AudioMixer()
    : m_sampleRate(RecordingFormat::SAMPLE_RATE), m_framesPerBlock(0), m_started(false), m_startUs(0), m_position(0) { m_lock.Init(); }

void AudioMixer::Init(int framesPerBlock) {
    {
        OS_MutexLocker guard(m_lock);
        m_framesPerBlock = std::max(framesPerBlock, 0);
        m_out.assign((size_t)m_framesPerBlock * 2, 0);
    }
    Clear();
}

void AudioMixer::Clear() {
    OS_MutexLocker guard(m_lock);
    for (Track& track : m_tracks)
        track = Track();
    m_started = false;
    m_position = 0;
}

void AudioMixer::SetSampleRate(int sampleRate) {
    {
        OS_MutexLocker guard(m_lock);
        m_sampleRate = sampleRate > 0 ? sampleRate : RecordingFormat::SAMPLE_RATE;
    }
    Clear();
}

int64_t AudioMixer::FramesOf(double us) const { return std::llround(us * m_sampleRate / 1e6); }

int64_t AudioMixer::UsOf(int64_t frames) const { return std::llround(frames * 1e6 / m_sampleRate); }

int AudioMixer::Mix(int tag, int64_t timeUs, const void* data, int size, std::vector<MMPacket>& mixed) {
    if (tag < 0 || tag >= TRACK_COUNT || !data || size < 4)
        return 0;
    OS_MutexLocker guard(m_lock);
    if (m_framesPerBlock <= 0)
        return 0;
    if (!m_started) {
        m_started = true;
        m_startUs = timeUs;
        m_position = 0;
    }

    // Where the block belongs, and where it would land: right after what
    // the track holds.
    Track& t = m_tracks[tag];
    int64_t position = FramesOf((double)(timeUs - m_startUs)) - t.shift;
    if (!t.enabled) {
        t = Track();
        t.enabled = true;
        t.start = position;
    } else {
        int64_t error = position - t.End();
        int64_t correction = 0;
        if (std::llabs(error) > FramesOf(CLOCK_JUMP_MS * 1000.0)) {
            t.shift += error;  // the source's clock jumped: run on from here
            t.offset = 0;
        } else if (std::llabs(error) > FramesOf(JUMP_MS * 1000.0)) {
            correction = error;
            t.offset = 0;
        } else {
            t.offset += (error - t.offset) / SMOOTHING_BLOCKS;
            if (std::fabs(t.offset) > FramesOf(DRIFT_MS * 1000.0)) {
                correction = std::llround(t.offset);
                t.offset -= (double)correction;
            }
        }
        position = t.End() + correction;
    }
    Place(t, position, static_cast<const int16_t*>(data), size / 4);

    int count = 0;
    MMPacket packet;
    while (MixNext(packet)) {
        mixed.push_back(packet);
        packet = MMPacket();
        ++count;
    }
    return count;
}

void AudioMixer::Place(Track& t, int64_t position, const int16_t* samples, int64_t frames) {
    // what belongs before the mix position has been given out without it
    int64_t late = std::min(std::max(m_position - position, (int64_t)0), frames);
    if (late == frames) {
        // all of it: the track still goes on after it
        t.samples.clear();
        t.start = position + frames;
        return;
    }
    position += late;
    samples += late * 2;
    frames -= late;
    if (t.samples.empty() || position < t.start) {
        t.samples.clear();
        t.start = position;
    } else if (position > t.End()) {
        t.samples.resize(t.samples.size() + (size_t)(position - t.End()) * 2, 0);  // a gap: silence
    } else {
        t.samples.resize((size_t)(position - t.start) * 2);  // ran ahead: its newest sound goes
    }
    t.samples.insert(t.samples.end(), samples, samples + frames * 2);
}

bool AudioMixer::MixNext(MMPacket& packet) {
    // due when every track reaches its end, or one is MAX_WAIT_MS past it
    const int64_t end = m_position + m_framesPerBlock;
    bool any = false;
    bool waiting = false;
    int64_t newest = INT64_MIN;
    for (const Track& t : m_tracks) {
        if (!t.enabled)
            continue;
        any = true;
        waiting = waiting || t.End() < end;
        newest = std::max(newest, t.End());
    }
    if (!any || (waiting && newest - end < FramesOf(MAX_WAIT_MS * 1000.0)))
        return false;

    // signed samples add; the sum saturates instead of wrapping
    std::fill(m_out.begin(), m_out.end(), 0);
    for (const Track& t : m_tracks) {
        if (!t.enabled)
            continue;
        int64_t from = std::max(m_position, t.start);
        int64_t to = std::min(end, t.End());
        for (int64_t i = (from - m_position) * 2, j = (from - t.start) * 2; i < (to - m_position) * 2; ++i, ++j) {
            int32_t s = m_out[(size_t)i] + t.samples[(size_t)j];
            m_out[(size_t)i] = (int16_t)std::min(std::max(s, -32768), 32767);
        }
    }
    packet.Fill(m_out.data(), (int)m_out.size() * 2, m_startUs + UsOf(m_position));
    packet.type = MMPacket::TYPE_AUDIO;
    m_position = end;

    // the tracks forget what is mixed
    for (Track& t : m_tracks) {
        if (!t.enabled || t.start >= m_position)
            continue;
        int64_t done = std::min(m_position - t.start, (int64_t)t.samples.size() / 2);
        t.samples.erase(t.samples.begin(), t.samples.begin() + done * 2);
        t.start += done;
    }
    return true;
}
