#pragma once

// Reads a written MP4 back with FFmpeg's own demuxer and decoders, so tests check what a player
// would see. Timestamps are in each stream's own time base. Not thread-safe.

#include <cstdint>
#include <string>
#include <vector>

// One stream as the container describes it.
struct ProbeStream {
    enum Kind { OTHER, VIDEO, AUDIO };

    Kind kind;
    std::string codecName;
    int width, height;              // video only
    int timeBaseNum, timeBaseDen;   // the stream's time base (the muxer may pick its own)
    int sampleRate, channels;       // audio only

    double ToSeconds(int64_t ts) const { return (double)ts * timeBaseNum / timeBaseDen; }
};

// One stored packet, in file order.
struct ProbePacket {
    int64_t pts;
    int64_t duration;
    bool key;
};

// One decoded picture, converted to BGRA (4 bytes a pixel, rows packed).
struct ProbePicture {
    int width, height;
    std::vector<uint8_t> bgra;

    // Mean blue, green and red over a rectangle (clipped to the picture).
    void Average(int x, int y, int w, int h, double* blue, double* green, double* red) const;
};

// All decoded sound of one stream as interleaved floats in [-1, 1].
struct ProbeSound {
    int sampleRate = 0;
    int channels = 0;
    int64_t firstPts = 0;        // stream time base; AAC starts before 0 (encoder delay)
    std::vector<float> samples;  // frames * channels values

    int64_t Frames() const { return channels ? (int64_t)samples.size() / channels : 0; }
    // Tone frequency of one channel in Hz from its rising zero crossings (0 if fewer than two).
    double Frequency(int channel) const;
    // Root mean square of one channel over [from, from + count) frames.
    double Rms(int channel, int64_t from, int64_t count) const;
    // Power of one frequency in a channel (Goertzel), relative to the signal's.
    double TonePower(int channel, double hz) const;
};

class Mp4Probe {
public:
    // Reads the streams, every packet's timing and the duration. 0 or -1 (Error() says why).
    int Open(const std::string& path);

    const std::vector<ProbeStream>& Streams() const { return m_streams; }
    // Index of the first stream of a kind, or -1.
    int FindStream(ProbeStream::Kind kind) const;
    // Packets of one stream in file order (empty for a bad index).
    const std::vector<ProbePacket>& Packets(int stream) const;
    // The container's duration in seconds.
    double Duration() const { return m_duration; }
    const std::string& Error() const { return m_error; }

    // Decodes a whole video stream as BGRA. 0 or -1.
    int DecodePictures(int stream, std::vector<ProbePicture>* pictures);
    // Decodes a whole audio stream. 0 or -1.
    int DecodeSound(int stream, ProbeSound* sound);

private:
    std::string m_path;
    std::vector<ProbeStream> m_streams;
    std::vector<std::vector<ProbePacket>> m_packets;
    double m_duration = 0;
    std::string m_error;
};
