#include "media/AvPacker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/frame.h>
}

#include "media/AudioFrameHolder.h"
#include "media/Mp4Muxer.h"
#include "media/VideoFrameScaler.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"

namespace {

// CPU time of the calling thread: what conversion and encoding really cost,
// whatever else the machine is doing.
int64_t ThreadCpuUs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

const int SOUND_FRAME_BYTES = AvPacker::AUDIO_CHANNELS * 2;  // one stereo 16-bit sample frame

// The video stream of a recording in codec at width x height (even sizes
// for H.264, see Open), fps pictures a second.
VideoStreamParams VideoParams(int codec, int width, int height, int fps) {
    VideoStreamParams video;
    video.width = width;
    video.height = height;
    video.bitRate = AvPacker::VIDEO_BIT_RATE;
    video.codecId = AV_CODEC_ID_MPEG4;
    if (codec == RecordingFormat::CODEC_H264) {
        video.codecId = AV_CODEC_ID_H264;
        video.quality = AvPacker::H264_QUALITY;
    }
    video.timeBaseNum = 1;
    video.timeBaseDen = fps;
    return video;
}

}  // namespace

int64_t AvPacker::MsToSoundFrames(double ms) const { return std::llround(ms * m_sampleRate / 1000.0); }
int64_t AvPacker::UsToSoundFrames(int64_t us) const { return std::llround((double)us * m_sampleRate / 1e6); }

AvPacker::AvPacker()
    : m_quit(false), m_accepting(false), m_finished(true), m_failure(0), m_opened(false), m_tookPrepared(false),
      m_muxer(nullptr),
      m_scaler(nullptr), m_audioFrame(nullptr), m_srcWidth(0), m_srcHeight(0), m_dstWidth(0), m_dstHeight(0),
      m_fps(0), m_codec(RecordingFormat::CODEC_MPEG4), m_sampleRate(AUDIO_SAMPLE_RATE), m_audioSamples(0), m_soundStarted(false), m_soundPlaced(0), m_trimPending(0), m_soundShift(0), m_soundOffset(0),
      m_soundFrame(nullptr), m_soundFill(0), m_havePicture(false), m_lastPts(0), m_picturesPushed(0),
      m_picturesSkipped(0), m_picturesEncoded(0), m_picturesFailed(0), m_soundEncoded(0),
      m_soundFramesFailed(0), m_soundSkipped(0), m_soundSilence(0),
      m_soundTrimmed(0), m_packetsDiscarded(0), m_convertCpuUs(0), m_encodeCpuUs(0), m_soundCpuUs(0) {}

AvPacker::~AvPacker() { Close(); }

// Steps: picture converter, file with both streams, sound frame, queue,
// thread. The converter comes first so that a picture format we cannot
// convert leaves no file behind.
int AvPacker::Open(const char* fileName, int srcWidth, int srcHeight, int bitsPerPixel, uint32_t fourcc,
                   int dstWidth, int dstHeight, int fps) {
    if (m_opened)
        return -1;
    m_opened = true;
    m_srcWidth = srcWidth;
    m_srcHeight = srcHeight;
    // x264 codes 4:2:0 only at even sizes: an odd last column or row is cut
    if (m_codec == RecordingFormat::CODEC_H264) {
        dstWidth &= ~1;
        dstHeight &= ~1;
    }
    m_dstWidth = dstWidth;
    m_dstHeight = dstHeight;
    m_fps = fps;

    // picture converter
    m_scaler = new VideoFrameScaler;
    if (m_scaler->Init(srcWidth, srcHeight, fourcc, bitsPerPixel, dstWidth, dstHeight) < 0) {
        OS_Log::Error("failed to create video frame scaler (%dx%d, %d bits, fourcc 0x%08x)!\n", srcWidth,
                      srcHeight, bitsPerPixel, fourcc);
        Close();
        return -1;
    }

    // file with both streams
    VideoStreamParams video = VideoParams(m_codec, dstWidth, dstHeight, fps);
    AudioStreamParams audio;
    audio.sampleRate = m_sampleRate;
    audio.channels = AUDIO_CHANNELS;
    audio.codecId = AV_CODEC_ID_AAC;
    audio.bitRate = AUDIO_BIT_RATE;
    audio.frameSize = AUDIO_FRAME_SAMPLES;
    m_muxer = new Mp4Muxer;
    if (m_muxer->Open(fileName, video, audio) < 0) {
        OS_Log::Error("failed to create mp4 muxer!");
        Close();
        return -1;
    }
    m_tookPrepared = m_muxer->TookPreparedEncoder();

    // sound frame
    m_audioFrame = new AudioFrameHolder;
    if (m_audioFrame->Init(AUDIO_CHANNELS) < 0) {
        Close();
        return -1;
    }

    m_soundFrame = new uint8_t[m_audioFrame->BlockSize()]();

    // queue and thread
    m_audioSamples = 0;
    m_soundStarted = false;
    // the track's first AUDIO_START_DELAY frames are the encoder's warm-up
    m_soundPlaced = m_muxer->AudioStartDelay();
    m_trimPending = 0;
    m_soundShift = 0;
    m_soundOffset = 0;
    m_soundFill = 0;
    m_havePicture = false;
    if (m_queue.Init(PacketQueue::ADMIT_PACKER) < 0) {
        Close();
        return -1;
    }
    m_quit = false;
    m_accepting = true;
    m_finished = false;
    if (Start() < 0) {
        OS_Log::Error("packer: failed to start thread!\n");
        Close();
        return -1;
    }
    OS_Log::Info("packer: recording %s, %dx%d to %dx%d at %d fps, %s, sound at %d Hz\n", fileName, srcWidth,
                 srcHeight, dstWidth, dstHeight, fps, m_codec == RecordingFormat::CODEC_H264 ? "h264" : "mpeg4",
                 m_sampleRate);
    return 0;
}

int AvPacker::Prepare(int codec, int width, int height, int fps) {
    // only MPEG-4 is ever prepared: H.264's even-size rule is not needed
    return Mp4Muxer::PrepareVideoEncoder(VideoParams(codec, width, height, fps));
}

bool AvPacker::Prepares(int codec, int width, int height, int fps) {
    return Mp4Muxer::PreparesVideoEncoder(VideoParams(codec, width, height, fps));
}

void AvPacker::DropPrepared() { Mp4Muxer::DropPreparedVideoEncoder(); }

int AvPacker::Push(MMPacket* packet) {
    if (!m_accepting) {
        packet->Release();
        return 0;
    }
    if (packet->type == MMPacket::TYPE_VIDEO)
        ++m_picturesPushed;
    return m_queue.Push(packet);
}

int AvPacker::Run() {
    bool idle = true;
    while (!m_quit) {
        // sleep while there is nothing to do; a backlog (the sound server
        // hands over seconds of sound at once after a stall) is worked off
        // without pauses, so pictures arriving meanwhile still find a place
        if (idle)
            OS_Sleep(PASS_SLEEP_MS);

        // take the oldest packet
        MMPacket packet = m_queue.Pop();
        idle = packet.IsEmpty();
        if (!idle)
            EncodeAndRelease(packet);
    }

    // the producers have stopped: what they queued is the end of the
    // recording, and belongs in the file
    for (MMPacket packet = m_queue.Pop(); !packet.IsEmpty(); packet = m_queue.Pop())
        EncodeAndRelease(packet);
    FinishFile();
    return 0;
}

// The last partial sound frame, the encoders' delay, the trailer. Packer
// thread at its end, or Close when the thread never ran.
void AvPacker::FinishFile() {
    if (m_muxer && m_failure != 0) {
        // after a failure only the trailer is attempted
        m_muxer->Close();
    } else if (m_muxer) {
        // The sound lasts as long as the pictures: what had not arrived by
        // the stop (a source that sends seconds at once) is silence.
        if (m_soundStarted && m_havePicture && m_fps > 0) {
            int64_t end = MsToSoundFrames((m_lastPts + 1) * 1000.0 / m_fps);
            int64_t silence = std::min(end - m_soundPlaced, MsToSoundFrames(SOUND_MAX_SILENCE_MS));
            if (silence > 0) {
                AppendSound(nullptr, silence);
                m_soundSilence += silence;
            }
        }
        if (m_soundFill > 0)
            EncodeSoundFrame();
        if (m_muxer->Close() < 0)
            Fail(-1);
    }
    m_finished = true;
}

void AvPacker::Fail(int error) {
    if (m_failure != 0)
        return;
    int written = m_muxer ? m_muxer->LastWriteError() : 0;
    m_failure = written != 0 ? written : (error != 0 ? error : -1);
    OS_Log::Error("packer: the recording failed; nothing more is written to the file\n");
}

// Encodes and writes one packet, then gives its memory back.
void AvPacker::EncodeAndRelease(MMPacket& packet) {
    if (m_failure != 0)
        ++m_packetsDiscarded;
    else if (packet.type == MMPacket::TYPE_VIDEO)
        EncodePicture(packet);
    else
        PlaceSound(packet);
    packet.Release();
}

void AvPacker::EncodePicture(MMPacket& packet) {
    // The picture's frame, as the encoder's 32-bit pts.
    int32_t pts = (int32_t)RecordingFormat::FrameAt(packet.timestamp, m_fps);
    // The encoder refuses a picture that is not later than the last one:
    // don't spend a conversion on it. At screen rates that is most pictures,
    // so it is only counted.
    if (m_havePicture && pts <= m_lastPts) {
        ++m_picturesSkipped;
        return;
    }
    // A picture short of the size given to Open would be read past its end.
    if (packet.size < m_scaler->PictureSize()) {
        ++m_picturesSkipped;
        OS_Log::Debug("packer: picture %d skipped: %d bytes\n", pts, packet.size);
        return;
    }
    int64_t start = ThreadCpuUs();
    // Both tracks start at 0, the sound with the recording clock: the first
    // picture is shown from there too. A fragmented MP4 has no edit list to
    // say that a track starts later, and the writer would shift every track
    // to the first packet it sees, cutting the sound that came before it.
    AVFrame* frame = m_scaler->Scale(packet.data, m_havePicture ? pts : 0);
    // The picture's memory goes back now, not after the encode: the capture
    // may be lending it from a short ring.
    packet.Release();
    int64_t converted = ThreadCpuUs();
    m_convertCpuUs += converted - start;
    if (!frame)
        return;
    // A failed encode or write ends the recording (the muxer logs why).
    int written = m_muxer->EncodeVideo(frame);
    // The capture starts some 30-60 ms after the clock (the screen and the
    // file are opened in between): the first picture also stands for the
    // periods up to its own, so the file has one every period from the
    // start. Repeats of one picture cost the encoder next to nothing.
    if (!m_havePicture && pts > 0) {
        OS_Log::Debug("packer: the first picture, of frame %d, fills the frames from 0\n", pts);
        for (int32_t repeat = 1; written >= 0 && repeat <= pts; ++repeat) {
            frame->pts = repeat;
            written = m_muxer->EncodeVideo(frame);
        }
    }
    m_encodeCpuUs += ThreadCpuUs() - converted;
    if (written < 0) {
        ++m_picturesFailed;
        Fail(-1);
        return;
    }
    ++m_picturesEncoded;
    m_havePicture = true;
    m_lastPts = pts;
}

// Puts one captured block where its timestamp says it belongs (see the
// class comment), then its samples after what the track already holds.
void AvPacker::PlaceSound(const MMPacket& packet) {
    const int64_t blockFrames = AUDIO_FRAME_SAMPLES;
    if (!packet.data || packet.size < blockFrames * SOUND_FRAME_BYTES) {
        ++m_soundSkipped;
        OS_Log::Debug("packer: sound block of %d bytes skipped\n", packet.size);
        return;
    }
    // Where the block's first sample belongs, and where it would land: after
    // the track so far, less what is still to be trimmed.
    int64_t wanted = UsToSoundFrames(packet.timestamp) - m_soundShift;
    int64_t error = wanted - (m_soundPlaced - m_trimPending);
    int64_t correction = 0;
    // the start may be late by more than a stall, but not by hours
    int64_t jumpLimit = MsToSoundFrames(m_soundStarted ? SOUND_CLOCK_JUMP_MS : SOUND_MAX_SILENCE_MS);
    if (std::llabs(error) > jumpLimit) {
        // Nothing real is that far off: the source's clock jumped. The track
        // runs on from here, shifted, neither filled nor trimmed.
        m_soundShift += error;
        m_soundOffset = 0;
        if (m_soundStarted)
            OS_Log::Info("packer: sound clock jumped by %lld ms; sound goes on\n",
                         (long long)(error * 1000 / m_sampleRate));
    } else if (!m_soundStarted || std::llabs(error) > MsToSoundFrames(SOUND_JUMP_MS)) {
        correction = error;
        m_soundOffset = 0;
        if (m_soundStarted)
            OS_Log::Info("packer: sound moved by %lld ms to its capture time\n",
                         (long long)(error * 1000 / m_sampleRate));
    } else {
        // drift: one step of SOUND_STEP_MS once the smoothed offset passes
        // SOUND_DRIFT_MS, so the offset stays within a step of 0
        m_soundOffset += (error - m_soundOffset) / SOUND_SMOOTHING_BLOCKS;
        if (std::fabs(m_soundOffset) > MsToSoundFrames(SOUND_DRIFT_MS)) {
            correction = m_soundOffset > 0 ? MsToSoundFrames(SOUND_STEP_MS) : -MsToSoundFrames(SOUND_STEP_MS);
            m_soundOffset -= (double)correction;
        }
    }

    // the first placement is the start, not a correction: not counted
    bool counted = m_soundStarted;
    m_soundStarted = true;
    if (correction < 0) {
        m_trimPending -= correction;
        if (counted)
            m_soundTrimmed -= correction;
    } else if (correction > 0) {
        // silence fills the gap; sound owed a trim is simply not dropped
        int64_t undo = std::min(correction, m_trimPending);
        m_trimPending -= undo;
        AppendSound(nullptr, correction - undo);
        if (counted)
            m_soundSilence += correction - undo;
    }

    int64_t skip = std::min(m_trimPending, blockFrames);
    m_trimPending -= skip;
    AppendSound(packet.data + skip * SOUND_FRAME_BYTES, blockFrames - skip);
    ++m_soundEncoded;
}

// Adds frames sample frames (null: silence) to the track, encoding every
// frame of AUDIO_FRAME_SAMPLES as it fills.
void AvPacker::AppendSound(const uint8_t* samples, int64_t frames) {
    while (frames > 0) {
        int64_t room = AUDIO_FRAME_SAMPLES - m_soundFill;
        int64_t count = std::min(frames, room);
        uint8_t* to = m_soundFrame + (size_t)m_soundFill * SOUND_FRAME_BYTES;
        if (samples) {
            memcpy(to, samples, (size_t)count * SOUND_FRAME_BYTES);
            samples += count * SOUND_FRAME_BYTES;
        } else {
            memset(to, 0, (size_t)count * SOUND_FRAME_BYTES);
        }
        m_soundFill += (int)count;
        m_soundPlaced += count;
        frames -= count;
        if (m_soundFill == AUDIO_FRAME_SAMPLES)
            EncodeSoundFrame();
    }
}

// Encodes the frame being filled (short only at the end of the recording).
void AvPacker::EncodeSoundFrame() {
    AVFrame* frame = m_audioFrame->Wrap(m_soundFrame, m_audioFrame->BlockSize(), m_audioSamples);
    if (!frame)
        return;
    frame->nb_samples = m_soundFill;
    m_audioSamples += m_soundFill;
    m_soundFill = 0;
    int64_t start = ThreadCpuUs();
    int written = m_muxer->EncodeAudio(frame);
    m_soundCpuUs += ThreadCpuUs() - start;
    if (written < 0) {
        ++m_soundFramesFailed;
        Fail(-1);
    }
}

void AvPacker::BeginClose() {
    m_accepting = false;
    m_quit = true;
}

void AvPacker::Close() {
    bool wasRecording = m_muxer && m_soundFrame;
    BeginClose();
    Join();
    // a packer whose thread never ran finishes here
    if (!m_finished)
        FinishFile();
    if (m_muxer) {
        m_muxer->Close();
        delete m_muxer;
        m_muxer = nullptr;
    }
    if (m_scaler) {
        m_scaler->Free();
        delete m_scaler;
        m_scaler = nullptr;
    }
    if (m_audioFrame) {
        m_audioFrame->Free();
        delete m_audioFrame;
        m_audioFrame = nullptr;
    }
    delete[] m_soundFrame;
    m_soundFrame = nullptr;
    m_finished = true;
    m_packetsDiscarded += m_queue.Drain();
    if (wasRecording) {
        Stats s = GetStats();
        OS_Log::Info("packer: closed; pictures %lld pushed, %lld refused, %lld skipped, %lld encoded; "
                     "sound blocks %lld encoded, %lld ms of silence added, %lld ms trimmed; "
                     "%lld packets discarded\n",
                     (long long)s.picturesPushed, (long long)s.picturesRefused, (long long)s.picturesSkipped,
                     (long long)s.picturesEncoded, (long long)s.soundEncoded,
                     (long long)(s.soundSilence * 1000 / m_sampleRate),
                     (long long)(s.soundTrimmed * 1000 / m_sampleRate), (long long)s.packetsDiscarded);
    }
}

AvPacker::Stats AvPacker::GetStats() {
    Stats s;
    s.picturesPushed = m_picturesPushed;
    s.picturesRefused = m_queue.Refused();
    s.picturesSkipped = m_picturesSkipped;
    s.picturesEncoded = m_picturesEncoded;
    s.picturesFailed = m_picturesFailed;
    s.soundEncoded = m_soundEncoded;
    s.soundFramesFailed = m_soundFramesFailed;
    s.soundSkipped = m_soundSkipped;
    s.soundSilence = m_soundSilence;
    s.soundTrimmed = m_soundTrimmed;
    s.packetsDiscarded = m_packetsDiscarded;
    s.convertCpuUs = m_convertCpuUs;
    s.encodeCpuUs = m_encodeCpuUs;
    s.soundCpuUs = m_soundCpuUs;
    return s;
}
