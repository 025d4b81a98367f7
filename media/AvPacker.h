#pragma once

#include <atomic>
#include <cstdint>

#include "media/MMPacket.h"
#include "media/PacketQueue.h"
#include "media/RecordingFormat.h"
#include "os/OS_Thread.h"

class AudioFrameHolder;
class Mp4Muxer;
class VideoFrameScaler;

// Turns one recording into one MP4 file: MPEG-4 Part 2 or H.264 video
// (stream 0) and AAC stereo sound, by default at 11025 Hz (stream 1). Producers push pictures and
// sound blocks from any thread; the packer's own thread converts, encodes
// and writes them in arrival order. At most two pictures wait (newer ones
// are dropped while the encoder is behind); sound is never dropped at Push.
//
// Sound is placed on the pictures' time line by the time it was captured:
// a block stamped t microseconds belongs at sample t * rate / 1000000 of
// the track. A late start, a stall of the source or sound missing at the
// stop is filled with silence; sound that runs ahead of its time (bursts, a
// device clock running fast) is trimmed. Both tracks start at 0: the first
// picture is shown from there.
// Jumps beyond SOUND_JUMP_MS are corrected at once; smaller offsets only
// once their smoothed value passes SOUND_DRIFT_MS, by SOUND_STEP_MS, so that
// the jitter of a steady source never inserts or drops a sample and a
// drifting one is moved in steps too small to hear. A block further off
// than SOUND_CLOCK_JUMP_MS is a jump of the source's clock: the track runs
// on from there, neither filled with that much silence nor trimmed back.
//
// Lifecycle: Open -> Push ... -> BeginClose -> (IsFinished) -> Close ->
// delete, or Open -> Push ... -> Close -> delete. Never reopened.
class AvPacker : public OS_Thread {
public:
    // Encoding settings; the recording windows choose only the codec and
    // the rates (SetEncoding, Open).
    static constexpr int VIDEO_BIT_RATE = 1500000;      // MPEG-4, bits per second
    // H.264 keeps a quality (x264's crf) instead of a rate: a still screen
    // costs almost nothing, and a busy one no more than MPEG-4's rate.
    static constexpr int H264_QUALITY = 23;
    static constexpr int AUDIO_SAMPLE_RATE = RecordingFormat::SAMPLE_RATE;
    static constexpr int AUDIO_CHANNELS = RecordingFormat::CHANNELS;
    static constexpr int AUDIO_BIT_RATE = 64000;        // bits per second
    static constexpr int AUDIO_FRAME_SAMPLES = RecordingFormat::FRAMES_PER_BLOCK;
    // Sleep at the top of a pass that found the queue empty: short enough for
    // 25 pictures and ~11 sound blocks a second plus their encoding, long
    // enough to leave the cores to the capture threads when idle.
    static constexpr unsigned PASS_SLEEP_MS = 5;
    // Sound this far from its place is moved there with the next block: a
    // late start, a stall, a jump of the source's clock.
    static constexpr int SOUND_JUMP_MS = 200;
    // A smaller offset is corrected once its smoothed value passes this
    // (drift, bursts)...
    static constexpr int SOUND_DRIFT_MS = 18;
    // ...by one step of this much: small enough not to be heard, large
    // enough that a drifting device is touched rarely (every 10 s at 0.2 %).
    // The offset stays within SOUND_DRIFT_MS of its start, and after a step
    // it lies 8 ms or more inside the other side's threshold, so jitter does
    // not step it back and forth.
    static constexpr int SOUND_STEP_MS = 20;
    // Blocks over which the offset is smoothed (about 2 s): dates that
    // jitter by 15 ms never cause a step in 30 minutes, and a drift is still
    // followed within a few ms.
    static constexpr int SOUND_SMOOTHING_BLOCKS = 24;
    // Beyond this a block's date is not a stall but a jump of its clock (or
    // a wild date): no silence is added and nothing trimmed for it. Longer
    // than any stall worth keeping the sound in step for.
    static constexpr int SOUND_CLOCK_JUMP_MS = 5000;
    // Longest silence added at the start (a late first block) or at the end
    // (to reach the pictures' end).
    static constexpr int SOUND_MAX_SILENCE_MS = 60000;

    // What happened to the packets of one recording. Readable at any time;
    // complete after Close.
    struct Stats {
        int64_t picturesPushed;   // pictures given to Push while open
        int64_t picturesRefused;  // dropped at Push: two were already waiting
        int64_t picturesSkipped;  // timestamp not after the last one, or short of a picture
        int64_t picturesEncoded;  // encoded and written
        int64_t picturesFailed;   // failed to encode or write (the first failure ends the writing)
        int64_t soundEncoded;     // sound blocks placed in the track (whole or trimmed)
        int64_t soundFramesFailed;// encoder frames of sound that failed to encode or write
        int64_t soundSilence;     // sample frames of silence added after the start (stalls, end)
        int64_t soundTrimmed;     // sample frames dropped after the start (sound ahead of its time)
        int64_t soundSkipped;     // sound blocks short of 1024 sample frames
        int64_t packetsDiscarded; // still queued at Close, released unencoded
        int64_t convertCpuUs;     // packer thread CPU time converting pictures
        int64_t encodeCpuUs;      // packer thread CPU time encoding and writing pictures
        int64_t soundCpuUs;       // packer thread CPU time encoding and writing sound
    };

    AvPacker();
    // Closes first when the owner has not.
    ~AvPacker() override;

    // The video codec (RecordingFormat::VideoCodec) and the sound's samples
    // a second; MPEG-4 and AUDIO_SAMPLE_RATE unless set. Before Open.
    void SetEncoding(int codec, int sampleRate) {
        m_codec = codec;
        m_sampleRate = sampleRate > 0 ? sampleRate : AUDIO_SAMPLE_RATE;
    }

    // Opens fileName for pictures of srcWidth x srcHeight described by fourcc
    // (0: bitsPerPixel 24 = BGR, 32 = BGRA; "YUY2": packed 4:2:2) that are
    // encoded at dstWidth x dstHeight, fps pictures a second, then starts the
    // packer thread. 0; or -1 with nothing left open (no file is created for
    // a picture format that cannot be converted). UI thread.
    int Open(const char* fileName, int srcWidth, int srcHeight, int bitsPerPixel, uint32_t fourcc,
             int dstWidth, int dstHeight, int fps);
    // Hands a packet over: queued, or released at once when refused or when
    // the packer is not open or closing. The caller never releases its copy
    // afterwards. Pictures: type 0, the layout given to Open, timestamp =
    // microseconds on the recording clock at which it was taken; the packer
    // writes it as frame RecordingFormat::FrameAt(timestamp, fps). Sound: type 1,
    // 1024 interleaved 16-bit stereo sample frames, timestamp = when its
    // first sample was captured on the same clock; may be negative. Always
    // 0. Any thread.
    int Push(MMPacket* packet);
    // Stops taking packets and returns at once; the packer's thread encodes
    // what is queued, drains the encoders, writes the trailer and closes the
    // file. Any state; later calls do nothing. UI thread, after every
    // producer has stopped.
    void BeginClose();
    // True once the file is complete (or there is none to finish). Any thread.
    bool IsFinished() const { return m_finished; }
    // 0 while every encode and write succeeded; else the FFmpeg error code
    // of the first failure (AVERROR(ENOSPC) for a full disk, AVERROR(EIO)
    // for a removed drive; -1 when the encoder failed). After a failure
    // nothing more is encoded: the file ends with what was written before
    // it, and its trailer is still attempted. Any thread.
    int Failure() const { return m_failure; }
    // BeginClose, then waits until the file is complete and releases
    // everything. Any state; a second call does nothing. UI thread.
    void Close();

    Stats GetStats();
    // Open took a video encoder made by Prepare.
    bool TookPrepared() const { return m_tookPrepared; }

    // Makes, ahead of a recording and off its time, the video encoder that
    // Open would make for pictures of width x height at fps in codec
    // (RecordingFormat::VideoCodec), where making it costs periods (MPEG-4
    // above 2560 x 1440: most of a second at 3840 x 2160); the next Open
    // with that format takes it over. Blocks while it works. 0, or -1
    // (logged). Any thread: a worker while the user chooses what to record.
    static int Prepare(int codec, int width, int height, int fps);
    // Prepare makes an encoder for this format.
    static bool Prepares(int codec, int width, int height, int fps);
    // Frees what Prepare made and no Open took. Any thread, at the exit.
    static void DropPrepared();

protected:
    int Run() override;

private:
    AvPacker(const AvPacker&) = delete;
    AvPacker& operator=(const AvPacker&) = delete;

    void EncodeAndRelease(MMPacket& packet);
    void EncodePicture(MMPacket& packet);
    void PlaceSound(const MMPacket& packet);
    void AppendSound(const uint8_t* samples, int64_t frames);
    void EncodeSoundFrame();
    void FinishFile();
    // Records the first failure (see Failure); the muxer's write error when
    // it has one.
    void Fail(int error);
    // Sample frames of sound in a time.
    int64_t MsToSoundFrames(double ms) const;
    int64_t UsToSoundFrames(int64_t us) const;

    PacketQueue m_queue;            // has its own lock, held only for list work
    std::atomic<bool> m_quit;       // set by Close, read by the thread every pass
    std::atomic<bool> m_accepting;  // Push queues packets only while set
    std::atomic<bool> m_finished;   // the file is complete (or there is none)
    std::atomic<int> m_failure;     // see Failure
    bool m_opened;                  // Open was called: never again
    bool m_tookPrepared;            // see TookPrepared
    Mp4Muxer* m_muxer;              // owned; packer thread only while it runs
    VideoFrameScaler* m_scaler;     // owned; packer thread only while it runs
    AudioFrameHolder* m_audioFrame; // owned; packer thread only while it runs
    int32_t m_srcWidth;
    int32_t m_srcHeight;
    int32_t m_dstWidth;
    int32_t m_dstHeight;
    int32_t m_fps;
    int32_t m_codec;
    int32_t m_sampleRate;
    int64_t m_audioSamples;         // sample frames encoded so far: next sound pts
    // Sound placement (packer thread).
    bool m_soundStarted;            // the first block has been placed
    int64_t m_soundPlaced;          // sample frames in the track so far, silence included
    int64_t m_trimPending;          // sample frames still to drop from the next blocks
    int64_t m_soundShift;           // sample frames taken off every place (clock jumps)
    double m_soundOffset;           // smoothed offset of the blocks from their place, frames
    uint8_t* m_soundFrame;          // one encoder frame being filled
    int m_soundFill;                // sample frames in it
    bool m_havePicture;             // m_lastPts holds a picture's timestamp
    int32_t m_lastPts;              // timestamp of the last picture sent to the encoder

    std::atomic<int64_t> m_picturesPushed;
    std::atomic<int64_t> m_picturesSkipped;
    std::atomic<int64_t> m_picturesEncoded;
    std::atomic<int64_t> m_picturesFailed;
    std::atomic<int64_t> m_soundEncoded;
    std::atomic<int64_t> m_soundFramesFailed;
    std::atomic<int64_t> m_soundSkipped;
    std::atomic<int64_t> m_soundSilence;
    std::atomic<int64_t> m_soundTrimmed;
    std::atomic<int64_t> m_packetsDiscarded;
    std::atomic<int64_t> m_convertCpuUs;
    std::atomic<int64_t> m_encodeCpuUs;
    std::atomic<int64_t> m_soundCpuUs;
};
