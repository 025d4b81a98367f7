#pragma once

#include "media/AudioStreamParams.h"
#include "media/VideoStreamParams.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVOutputFormat;
struct AVPacket;
struct AVStream;
struct SwrContext;

// Writes one MP4 file with at most one video and one audio stream, each
// with its own encoder. MP4 files are written in fragments, one per video
// key frame and every half second: a file whose writer died plays up to
// its last whole fragment.
// Not thread-safe: one thread (the packer's) uses it from Open to Close.
class Mp4Muxer {
public:
    Mp4Muxer();
    // Closes what is still open.
    ~Mp4Muxer();

    // Creates fileName (the container follows its extension), adds the video
    // stream (index 0) and the audio stream (index 1) unless their codecId is
    // 0, opens both encoders and writes the header. Above 2560 x 1440 the
    // MPEG-4 encoder is warmed up here with pictures that are not written
    // (at 3840 x 2160 some 100 MB and most of a second), unless one was
    // prepared (PrepareVideoEncoder). 0, or -1 with everything released
    // again.
    int Open(const char* fileName, VideoStreamParams video, AudioStreamParams audio);
    // Encodes one YUV 4:2:0 picture of the coded size whose pts counts frame
    // periods from 0, and writes what the encoder gives back; the first
    // picture after Open is sent as a key frame. 1 when a packet was
    // written, 0 when the encoder kept the frame, -1 on failure.
    int EncodeVideo(AVFrame* frame);
    // Encodes one frame of interleaved 16-bit sound whose pts counts samples
    // fed so far; converted first when the encoder wants another sample
    // format. Results as EncodeVideo.
    int EncodeAudio(AVFrame* frame);
    // Sample frames of encoder warm-up the sound track starts with: the
    // frame with pts 0 given to EncodeAudio plays this late, so the first
    // sample fed belongs there on the time line. Valid after Open.
    int AudioStartDelay() const;
    // Drains both encoders, writes the trailer, releases everything. Safe in
    // any state and twice. 0, or -1 when a drained packet or the trailer
    // could not be written (logged).
    int Close();
    // The FFmpeg error code (AVERROR(ENOSPC), AVERROR(EIO)...) of the last
    // failed write, or 0.
    int LastWriteError() const { return m_lastWriteError; }
    // Open took the prepared video encoder (PrepareVideoEncoder).
    bool TookPreparedEncoder() const { return m_tookPrepared; }

    // Opens and warms, ahead of a recording and off its time, the video
    // encoder that Open would warm for these settings (MPEG-4 above
    // 2560 x 1440, see WarmVideoEncoder), and keeps it for the next Open with
    // the same settings, which takes it instead of making its own. One is
    // kept: it replaces one made for other settings. An Open that comes
    // while one is being made waits for it rather than make a second. 0
    // (also when these settings need none), or -1 (logged). Any thread.
    static int PrepareVideoEncoder(VideoStreamParams video);
    // PrepareVideoEncoder makes one for these settings.
    static bool PreparesVideoEncoder(const VideoStreamParams& video);
    // Frees the prepared encoder nobody took. Any thread; before the exit.
    static void DropPreparedVideoEncoder();

private:
    Mp4Muxer(const Mp4Muxer&) = delete;
    Mp4Muxer& operator=(const Mp4Muxer&) = delete;

    // One stream with its encoder.
    struct OutputStream {
        AVCodecContext* codec;   // owned
        AVStream* stream;        // owned by the format context
        AVFrame* converted;      // audio in the encoder's sample format, or null
        SwrContext* converter;   // fills converted, or null
        const char* encodeError; // logged when encoding fails, or null
        int encodeErrorLevel;
        const char* writeError;  // logged when writing fails
    };

    int AddVideoStream();
    int AddAudioStream();
    int OpenEncoder(OutputStream& os);
    bool TakePreparedEncoder();
    int WarmVideoEncoder();
    const AVFrame* ToEncoderFormat(OutputStream& os, const AVFrame* frame);
    int EncodeAndWrite(OutputStream& os, const AVFrame* frame);
    void Release();

    const AVOutputFormat* m_outputFormat;
    AVFormatContext* m_formatContext;  // owned
    VideoStreamParams m_video;
    AudioStreamParams m_audio;
    int m_videoStreamIndex;            // -1: none
    int m_audioStreamIndex;            // -1: none
    OutputStream m_videoOut;
    OutputStream m_audioOut;
    AVPacket* m_packet;                // reused for every encoded packet
    bool m_headerWritten;              // the trailer is owed
    bool m_videoKeyOwed;               // the next picture must be a key frame
    bool m_tookPrepared;               // the video encoder was prepared ahead
    int m_lastWriteError;              // see LastWriteError
};
