#pragma once

#include <atomic>
#include <cstdint>

#include "media/MMPacket.h"
#include "media/PacketQueue.h"
#include "os/OS_Thread.h"

class AudioFrameHolder;
class Mp4Muxer;
class VideoFrameScaler;

// Turns one recording into one MP4 file: MPEG-4 Part 2 video (stream 0) and
// AAC stereo sound at 11025 Hz (stream 1). Producers push pictures and
// sound blocks from any thread; the packer's own thread converts, encodes
// and writes them in arrival order. At most two pictures wait (newer ones
// are dropped while the encoder is behind); sound is never dropped.
// Lifecycle: Open -> Push ... -> Close -> delete. Never reopened.
class AvPacker : public OS_Thread {
public:
    // Fixed encoding settings; the recording windows cannot change them.
    static constexpr int VIDEO_BIT_RATE = 1500000;      // bits per second
    static constexpr int AUDIO_SAMPLE_RATE = 11025;     // samples per second
    static constexpr int AUDIO_CHANNELS = 2;
    static constexpr int AUDIO_BIT_RATE = 64000;        // bits per second
    static constexpr int AUDIO_FRAME_SAMPLES = 1024;    // sample frames per block and per AAC frame
    // Sleep at the top of a pass that found the queue empty: short enough for
    // 25 pictures and ~11 sound blocks a second plus their encoding, long
    // enough to leave the cores to the capture threads when idle.
    static constexpr unsigned PASS_SLEEP_MS = 5;

    // What happened to the packets of one recording. Readable at any time;
    // complete after Close.
    struct Stats {
        int64_t picturesPushed;   // pictures given to Push while open
        int64_t picturesRefused;  // dropped at Push: two were already waiting
        int64_t picturesSkipped;  // timestamp not after the last one, or short of a picture
        int64_t picturesEncoded;  // handed to the encoder
        int64_t soundEncoded;     // sound blocks handed to the encoder
        int64_t soundSkipped;     // sound blocks short of 1024 sample frames
        int64_t packetsDiscarded; // still queued at Close, released unencoded
        int64_t convertCpuUs;     // packer thread CPU time converting pictures
        int64_t encodeCpuUs;      // packer thread CPU time encoding and writing pictures
        int64_t soundCpuUs;       // packer thread CPU time encoding and writing sound
    };

    AvPacker();
    // Closes first when the owner has not.
    ~AvPacker() override;

    // Opens fileName for pictures of srcWidth x srcHeight described by fourcc
    // (0: bitsPerPixel 24 = BGR, 32 = BGRA; "YUY2": packed 4:2:2) that are
    // encoded at dstWidth x dstHeight, fps pictures a second, then starts the
    // packer thread. 0; or -1 with nothing left open (no file is created for
    // a picture format that cannot be converted). UI thread.
    int Open(const char* fileName, int srcWidth, int srcHeight, int bitsPerPixel, uint32_t fourcc,
             int dstWidth, int dstHeight, int fps);
    // Hands a packet over: queued, or released at once when refused or when
    // the packer is not open. The caller never releases its copy afterwards.
    // Pictures: type 0, the layout given to Open, timestamp = frame number.
    // Sound: type 1, 1024 interleaved 16-bit stereo sample frames. Always 0.
    // Any thread.
    int Push(MMPacket* packet);
    // Ends the thread (finishing the packet in hand), drains the encoders,
    // writes the trailer and closes the file, then releases every packet
    // still queued. Any state; a second call does nothing. UI thread, after
    // every producer has stopped.
    void Close();

    Stats GetStats();

protected:
    int Run() override;

private:
    AvPacker(const AvPacker&) = delete;
    AvPacker& operator=(const AvPacker&) = delete;

    void EncodeAndRelease(MMPacket& packet);
    void EncodePicture(const MMPacket& packet);
    void EncodeSound(const MMPacket& packet);

    PacketQueue m_queue;            // has its own lock, held only for list work
    std::atomic<bool> m_quit;       // set by Close, read by the thread every pass
    std::atomic<bool> m_accepting;  // Push queues packets only while set
    bool m_opened;                  // Open was called: never again
    Mp4Muxer* m_muxer;              // owned; packer thread only while it runs
    VideoFrameScaler* m_scaler;     // owned; packer thread only while it runs
    AudioFrameHolder* m_audioFrame; // owned; packer thread only while it runs
    int32_t m_srcWidth;
    int32_t m_srcHeight;
    int32_t m_dstWidth;
    int32_t m_dstHeight;
    int32_t m_fps;
    int64_t m_audioSamples;         // sample frames encoded so far: next sound pts
    bool m_havePicture;             // m_lastPts holds a picture's timestamp
    int32_t m_lastPts;              // timestamp of the last picture sent to the encoder

    std::atomic<int64_t> m_picturesPushed;
    std::atomic<int64_t> m_picturesSkipped;
    std::atomic<int64_t> m_picturesEncoded;
    std::atomic<int64_t> m_soundEncoded;
    std::atomic<int64_t> m_soundSkipped;
    std::atomic<int64_t> m_packetsDiscarded;
    std::atomic<int64_t> m_convertCpuUs;
    std::atomic<int64_t> m_encodeCpuUs;
    std::atomic<int64_t> m_soundCpuUs;
};
