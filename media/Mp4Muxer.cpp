// FFmpeg call order, and who owns what:
//   output context (avformat_alloc_output_context2; we own it)
//   -> streams (avformat_new_stream; owned by the context, freed with it)
//   -> encoders (avcodec_alloc_context3, global-header flag set before
//      avcodec_open2; we own them) -> stream parameters copied from the
//      opened encoders (avcodec_parameters_from_context: extradata exists
//      only after opening)
//   -> file (avio_open; closed by us, not by avformat_free_context)
//   -> header (may replace the streams' time bases: rescale packets after it)
//   ... send/receive per frame ...
//   -> drain each encoder with a null frame -> trailer
//   -> free encoders -> close file -> free context.
// avcodec_send_frame references a refcounted frame and copies one that is
// not; either way the caller may reuse its frame once the call returns, but a
// refcounted frame must be made writable again before it is overwritten.
#include "media/Mp4Muxer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "media/RecordingFormat.h"
#include "os/OS_Clock.h"
#include "os/OS_Log.h"

namespace {

// H.264 through x264 at a speed that leaves a core for capture at 1080p:
// no look-ahead or B-frames, which only add pictures held back.
const char* const H264_ENCODER = "libx264";
const char* const H264_PRESET = "superfast";
// x264's own options for screens, on top of the preset:
//   scenecut=0    key frames only on the interval: a window switch would
//                 otherwise spend a key frame's bits under the rate cap;
//   weightp=0     weighted prediction serves fades, which screens rarely show;
//   subme=0       whole-pixel motion only: windows and scrolled text move by
//                 whole pixels; some 5-10 % less CPU for moving pictures.
//   aq-strength=0.5  adaptive quantisation at half strength: at full strength
//                 it takes bits from detailed blocks (text, icons) for flat
//                 ones, and a still desktop comes out some 1.4 dB less sharp;
//                 without it busy pictures under the rate cap lose some 0.3 dB
//                 and a tenth of their likeness in the codec bench.
// The loop filter stays: without it a still desktop gains some 0.3 dB, but
// busy pictures at 60 fps, each with fewer bits, come out blocky (about
// 1 dB and a fifth of their likeness lost).
const char* const H264_SCREEN_OPTIONS = "scenecut=0:weightp=0:subme=0:aq-strength=0.5";
// Seconds between H.264 key frames. A still screen costs a key frame and
// little else, so each key frame less leaves its bits to the next one (a
// sharper picture under the cap), and spares the encoder the pictures after
// a key frame, which it spends refining the whole screen. Crash safety does
// not depend on it: a fragment is cut every half second (FRAGMENT_MICROSECONDS)
// whatever the interval. Longer would cost seeking (players decode from the
// key frame before) and the time a damaged part stays broken; 2 s is what
// streaming uses for the same trade.
const int H264_KEY_FRAME_SECONDS = 2;
// Seconds of the rate cap the encoder may save up and spend at once. A key
// frame of a detailed still screen wants more than two seconds' worth; with
// less, the rate control holds each key frame to half of what it could
// have and the still picture stays some 2 dB below what the quality level
// gives. Over a recording the rate stays under the cap whatever the buffer;
// a longer one only lets the first seconds of a busy screen take more.
const int H264_BUFFER_SECONDS = 4;

// Above this many pixels (2560 x 1440) the video encoder cuts each picture
// into slices, one per core, each encoded on its own thread: at 3840 x 2160
// one thread needs about the whole 40 ms period for a picture, and any
// delay then costs the next period. At and below it one thread takes well
// under half a period, and the two pictures the packer lets wait absorb a
// late one. Slices are not free: the encoder then sizes its packet buffer
// for the worst case, some 3 KB per 16 x 16 block (25 MB at 1920 x 1080,
// made by the warm-up, see WarmVideoEncoder); every slice boundary also
// resets the prediction.
const int SLICE_THREADS_ABOVE_PIXELS = 2560 * 1440;
// Beyond 4 slice threads the gain is small.
const long MAX_ENCODER_THREADS = 4;

// Pictures encoded and thrown away before a recording (see
// WarmVideoEncoder): the encoder cycles through this many pictures of its
// own before it reuses them. Timed just before the first real one, at 0:
// the encoder wants its times to grow.
const int WARM_UP_PICTURES = 3;

// Finest quantiser the video encoder may use (see AddVideoStream).
const int MIN_QUANTISER = 3;
// Key frames' quantiser against the pictures after them (negative: of the
// last one's), 0.8 by the encoder's default. At 0.6 a still 3840 x 2160
// screen's key frames came out 1.9 dB sharper and the file 17 % smaller, a
// moving picture some 0.1 dB sharper and 16-20 % smaller; 1920 x 1080 still
// pictures, already at the finest quantiser, are unchanged. At 0.5 the rate
// control overshoots.
const float KEY_FRAME_QUANTISER_FACTOR = -0.6f;

// An MP4 written in fragments, one at each key frame and at least every
// half second: each fragment carries its own index, so a recording cut
// short (killed, power lost) plays up to its last whole fragment, at most
// about a second before the cut, and the trailer at a clean stop only adds
// the last fragment and a random-access table: nothing is rewritten.
const char* const FRAGMENT_FLAGS = "frag_keyframe+empty_moov+default_base_moof";
const char* const FRAGMENT_MICROSECONDS = "500000";

// The prepared video encoder (Mp4Muxer::PrepareVideoEncoder). The lock is
// held while one is made, so that an Open meanwhile waits for it instead of
// making a second (at 3840 x 2160 that would be another 150 MB).
std::mutex g_preparedLock;
AVCodecContext* g_prepared = nullptr;  // opened and warmed; guarded by g_preparedLock
VideoStreamParams g_preparedFor;       // its settings; guarded by g_preparedLock

bool SameSettings(const VideoStreamParams& a, const VideoStreamParams& b) {
    return a.width == b.width && a.height == b.height && a.bitRate == b.bitRate && a.quality == b.quality &&
           a.codecId == b.codecId && a.timeBaseNum == b.timeBaseNum && a.timeBaseDen == b.timeBaseDen;
}

// FFmpeg's reason for err, on the level of the failure it explains.
void LogReason(int level, const char* what, int err) {
    char text[AV_ERROR_MAX_STRING_SIZE];
    av_strerror(err, text, sizeof text);
    OS_Log::Global().Print(level, "mux: %s: %s\n", what, text);
}

// The encoder's choice among the two sample formats we can feed it:
// interleaved 16-bit as captured, else planar float converted by
// libswresample.
AVSampleFormat PickSampleFormat(const AVCodec* codec) {
    const AVSampleFormat* formats = codec->sample_fmts;
    if (!formats)
        return AV_SAMPLE_FMT_S16;
    AVSampleFormat chosen = AV_SAMPLE_FMT_NONE;
    for (; *formats != AV_SAMPLE_FMT_NONE; ++formats) {
        if (*formats == AV_SAMPLE_FMT_S16)
            return AV_SAMPLE_FMT_S16;
        if (*formats == AV_SAMPLE_FMT_FLTP)
            chosen = AV_SAMPLE_FMT_FLTP;
    }
    return chosen;
}

// Threads for the video encoder of width x height pictures: one, or above
// SLICE_THREADS_ABOVE_PIXELS the cores online, at most MAX_ENCODER_THREADS.
int VideoEncoderThreads(int width, int height) {
    if ((int64_t)width * height <= SLICE_THREADS_ABOVE_PIXELS)
        return 1;
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    if (cores < 1)
        return 1;
    return (int)(cores < MAX_ENCODER_THREADS ? cores : MAX_ENCODER_THREADS);
}

// The encoder is warmed before its first picture (see WarmVideoEncoder).
bool NeedsWarmUp(const VideoStreamParams& video) {
    return video.codecId == AV_CODEC_ID_MPEG4 && VideoEncoderThreads(video.width, video.height) > 1;
}

}  // namespace

Mp4Muxer::Mp4Muxer()
    : m_outputFormat(nullptr), m_formatContext(nullptr), m_videoStreamIndex(-1), m_audioStreamIndex(-1),
      m_videoOut(), m_audioOut(), m_packet(nullptr), m_headerWritten(false), m_videoKeyOwed(false),
      m_tookPrepared(false), m_lastWriteError(0) {}

Mp4Muxer::~Mp4Muxer() { Close(); }

// Steps: output context, video stream and encoder, audio stream and
// encoder, file, header. Any failure releases everything.
int Mp4Muxer::Open(const char* fileName, VideoStreamParams video, AudioStreamParams audio) {
    if (m_formatContext)
        return -1;
    m_video = video;
    m_audio = audio;

    // output context: the container follows the file name's extension
    if (avformat_alloc_output_context2(&m_formatContext, nullptr, nullptr, fileName) < 0 || !m_formatContext) {
        m_formatContext = nullptr;
        return -1;
    }
    m_outputFormat = m_formatContext->oformat;
    m_packet = av_packet_alloc();
    if (!m_packet) {
        Release();
        return -1;
    }

    // video stream (index 0) and its encoder
    if (m_video.codecId != 0) {
        m_videoStreamIndex = AddVideoStream();
        if (m_videoStreamIndex < 0) {
            OS_Log::Error("mux: failed to open video stream!\n");
            Release();
            return -1;
        }
        // one prepared ahead is already open and warm
        m_tookPrepared = TakePreparedEncoder();
        if (OpenEncoder(m_videoOut) < 0) {
            OS_Log::Error("mux: failed to open video codec for encoder!\n");
            Release();
            return -1;
        }
        if (!m_tookPrepared && NeedsWarmUp(m_video) && WarmVideoEncoder() < 0) {
            OS_Log::Error("mux: failed to prepare the video encoder!\n");
            Release();
            return -1;
        }
    }

    // audio stream (index 1) and its encoder
    if (m_audio.codecId != 0) {
        OS_Log::Debug("add audio stream!\n");
        m_audioStreamIndex = AddAudioStream();
        if (m_audioStreamIndex < 0) {
            OS_Log::Error("mux: failed to open audio stream!\n");
            Release();
            return -1;
        }
        if (OpenEncoder(m_audioOut) < 0) {
            OS_Log::Error("mux: failed to open audio codec for encoder!\n");
            Release();
            return -1;
        }
    }

    // file
    if (!(m_outputFormat->flags & AVFMT_NOFILE)) {
        int err = avio_open(&m_formatContext->pb, fileName, AVIO_FLAG_WRITE);
        if (err < 0) {
            OS_Log::Error("failed to open ts file to write \n");
            LogReason(OS_Log::LEVEL_ERROR, fileName, err);
            Release();
            return -1;
        }
    }

    // header
    AVDictionary* options = nullptr;
    if (av_opt_find(m_formatContext->priv_data, "movflags", nullptr, 0, 0)) {
        av_dict_set(&options, "movflags", FRAGMENT_FLAGS, 0);
        av_dict_set(&options, "frag_duration", FRAGMENT_MICROSECONDS, 0);
    }
    // every fragment reaches the file at once, not when a buffer fills
    av_dict_set(&options, "flush_packets", "1", 0);
    int err = avformat_write_header(m_formatContext, &options);
    av_dict_free(&options);
    if (err < 0) {
        OS_Log::Error("failed to write header \n");
        LogReason(OS_Log::LEVEL_ERROR, fileName, err);
        Release();
        return -1;
    }
    m_headerWritten = true;
    return 0;
}

int Mp4Muxer::AddVideoStream() {
    bool h264 = m_video.codecId == AV_CODEC_ID_H264;
    const AVCodec* codec =
        h264 ? avcodec_find_encoder_by_name(H264_ENCODER) : avcodec_find_encoder((AVCodecID)m_video.codecId);
    if (!codec)
        return -1;
    AVStream* stream = avformat_new_stream(m_formatContext, nullptr);
    if (!stream) {
        OS_Log::Error("Could not allocate stream\n");
        return -1;
    }
    stream->id = (int)m_formatContext->nb_streams - 1;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (!c)
        return -1;
    m_videoOut.codec = c;
    m_videoOut.stream = stream;
    m_videoOut.encodeError = nullptr;  // a picture that fails to encode is simply lost
    m_videoOut.encodeErrorLevel = OS_Log::LEVEL_ERROR;
    m_videoOut.writeError = "failed to write video frame to file!\n";

    c->codec_id = (AVCodecID)m_video.codecId;
    c->bit_rate = m_video.bitRate;
    c->width = m_video.width;
    c->height = m_video.height;
    c->time_base = AVRational{m_video.timeBaseNum, m_video.timeBaseDen};
    c->framerate = AVRational{m_video.timeBaseDen, m_video.timeBaseNum};
    // A key frame once a second, so a damaged or cut file can be played
    // from the next second on.
    c->gop_size = m_video.timeBaseDen / std::max(m_video.timeBaseNum, 1);
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->max_b_frames = 0;
    // Slice threads keep the pictures in order and add no delay, unlike
    // frame threads, which would hold pictures back and copy each one.
    c->thread_count = VideoEncoderThreads(m_video.width, m_video.height);
    c->thread_type = FF_THREAD_SLICE;
    if (h264) {
        c->gop_size *= H264_KEY_FRAME_SECONDS;
        av_opt_set(c->priv_data, "preset", H264_PRESET, 0);
        av_opt_set_int(c->priv_data, "crf", m_video.quality, 0);
        av_opt_set_int(c->priv_data, "rc-lookahead", 0, 0);
        av_opt_set(c->priv_data, "x264-params", H264_SCREEN_OPTIONS, 0);
        // The quality holds until a busy screen would need more than the
        // rate, over H264_BUFFER_SECONDS: never a bigger file than MPEG-4's. Above
        // 25 pictures a second each keeps the bits it has at 25 (MPEG-4's
        // files there come out about twice as large as at 25).
        int fps = m_video.timeBaseDen / std::max(m_video.timeBaseNum, 1);
        int64_t cap = (int64_t)m_video.bitRate * std::max(fps, RecordingFormat::FRAMES_PER_SECOND) /
                      RecordingFormat::FRAMES_PER_SECOND;
        c->bit_rate = 0;
        c->rc_max_rate = cap;
        c->rc_buffer_size = (int)(H264_BUFFER_SECONDS * cap);
    } else {
        // MPEG quantisation, with its weighting matrices, instead of H.263's
        // flat one: the same bits keep more of the fine detail of text and
        // window edges, which a screen is mostly made of (about 1 dB sharper
        // still pictures at 1.5 Mbit/s, no more CPU). Private to the MPEG-4
        // encoder; another codec simply lacks the option.
        av_opt_set_int(c->priv_data, "mpeg_quant", 1, 0);
        // Finest quantiser: on a still screen the rate control would otherwise
        // spend the first seconds on key frames at 2, twice the bits of 3 for a
        // difference hard to see, and then starve the next ones to pay for them
        // (key frames swinging between 34 and 43 dB). The encoder's rate
        // control works in lambda; both limits say the same.
        c->qmin = MIN_QUANTISER;
        av_opt_set_int(c->priv_data, "lmin", MIN_QUANTISER * FF_QP2LAMBDA, 0);
        // Key frames finer than the encoder's default: on a still screen the
        // pictures after one otherwise spend their bits restoring its detail.
        c->i_quant_factor = KEY_FRAME_QUANTISER_FACTOR;
    }
    if (m_outputFormat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // A hint: the MP4 writer picks its own finer time base at the header.
    stream->time_base = c->time_base;
    return stream->index;
}

int Mp4Muxer::AddAudioStream() {
    const AVCodec* codec = avcodec_find_encoder((AVCodecID)m_audio.codecId);
    if (!codec)
        return -1;
    AVSampleFormat sampleFormat = PickSampleFormat(codec);
    if (sampleFormat == AV_SAMPLE_FMT_NONE || m_audio.channels < 1 || m_audio.channels > 2)
        return -1;
    AVStream* stream = avformat_new_stream(m_formatContext, nullptr);
    if (!stream) {
        OS_Log::Error("Could not allocate stream\n");
        return -1;
    }
    stream->id = (int)m_formatContext->nb_streams - 1;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (!c)
        return -1;
    m_audioOut.codec = c;
    m_audioOut.stream = stream;
    m_audioOut.encodeError = "Error encoding audio frame\n";
    m_audioOut.encodeErrorLevel = OS_Log::LEVEL_WARNING;
    m_audioOut.writeError = "failed to write audio frame to file!\n";

    c->sample_fmt = sampleFormat;
    c->bit_rate = m_audio.bitRate;
    c->sample_rate = m_audio.sampleRate;
    av_channel_layout_default(&c->ch_layout, m_audio.channels);  // mono or stereo
    c->frame_size = m_audio.frameSize;
    // Audio frame timestamps count samples.
    c->time_base = AVRational{1, m_audio.sampleRate};
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    stream->time_base = c->time_base;

    if (sampleFormat != AV_SAMPLE_FMT_S16) {
        // same layout and rate: only the sample format changes, so the
        // converter holds nothing back between frames
        if (swr_alloc_set_opts2(&m_audioOut.converter, &c->ch_layout, sampleFormat, c->sample_rate,
                                &c->ch_layout, AV_SAMPLE_FMT_S16, c->sample_rate, 0, nullptr) < 0 ||
            swr_init(m_audioOut.converter) < 0)
            return -1;
        AVFrame* converted = av_frame_alloc();
        if (!converted)
            return -1;
        m_audioOut.converted = converted;
        converted->format = sampleFormat;
        converted->nb_samples = m_audio.frameSize;
        converted->sample_rate = m_audio.sampleRate;
        if (av_channel_layout_copy(&converted->ch_layout, &c->ch_layout) < 0 ||
            av_frame_get_buffer(converted, 0) < 0)
            return -1;
    }
    return stream->index;
}

int Mp4Muxer::OpenEncoder(OutputStream& os) {
    int err = avcodec_is_open(os.codec) ? 0 : avcodec_open2(os.codec, nullptr, nullptr);
    if (err < 0) {
        LogReason(OS_Log::LEVEL_ERROR, avcodec_get_name(os.codec->codec_id), err);
        return -1;
    }
    if (avcodec_parameters_from_context(os.stream->codecpar, os.codec) < 0)
        return -1;
    return 0;
}

int Mp4Muxer::EncodeVideo(AVFrame* frame) {
    if (!m_headerWritten || !m_videoOut.codec || !frame)
        return -1;
    if (!m_videoKeyOwed)
        return EncodeAndWrite(m_videoOut, frame);
    // The warm-up pictures are not in the file: the first real one must not
    // refer to them. The caller's frame is reused for the next picture.
    m_videoKeyOwed = false;
    frame->pict_type = AV_PICTURE_TYPE_I;
    int result = EncodeAndWrite(m_videoOut, frame);
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    return result;
}

// The MPEG-4 encoder makes its buffers in its first pictures: with slices
// a packet buffer for the worst case, zeroed (some 100 MB, 0.4 s or more
// at 3840 x 2160), and its own copies of the pictures. Made during the
// recording, that costs some ten periods, more than the two pictures the
// packer lets wait can absorb; so a few black pictures are encoded and
// thrown away here. With one thread the first pictures cost only a few
// tens of ms more than the others, which the waiting pictures absorb.
int Mp4Muxer::WarmVideoEncoder() {
    AVCodecContext* c = m_videoOut.codec;
    AVFrame* frame = av_frame_alloc();
    if (!frame)
        return -1;
    frame->format = c->pix_fmt;
    frame->width = c->width;
    frame->height = c->height;
    int err = av_frame_get_buffer(frame, 0);
    if (err >= 0) {
        // black: Y 16, U and V 128 (limited range)
        for (int plane = 0; plane < 3; ++plane) {
            int rows = plane == 0 ? frame->height : (frame->height + 1) / 2;
            memset(frame->data[plane], plane == 0 ? 16 : 128, (size_t)frame->linesize[plane] * rows);
        }
    }
    for (int i = 0; i < WARM_UP_PICTURES && err >= 0; ++i) {
        frame->pts = i - WARM_UP_PICTURES;
        err = avcodec_send_frame(c, frame);
        while (err >= 0) {
            err = avcodec_receive_packet(c, m_packet);
            av_packet_unref(m_packet);
        }
        if (err == AVERROR(EAGAIN) && i + 1 < WARM_UP_PICTURES)
            err = 0;
    }
    av_frame_free(&frame);
    if (err != AVERROR(EAGAIN)) {
        LogReason(OS_Log::LEVEL_ERROR, "warm-up picture", err);
        return -1;
    }
    m_videoKeyOwed = true;
    return 0;
}

bool Mp4Muxer::PreparesVideoEncoder(const VideoStreamParams& video) { return NeedsWarmUp(video); }

int Mp4Muxer::PrepareVideoEncoder(VideoStreamParams video) {
    if (!NeedsWarmUp(video))
        return 0;
    std::lock_guard<std::mutex> guard(g_preparedLock);
    if (g_prepared && SameSettings(g_preparedFor, video))
        return 0;
    avcodec_free_context(&g_prepared);
    int64_t start = OS_NowMs();
    // Made as Open makes it, for an MP4 file that is never written: the
    // same settings, global header included.
    Mp4Muxer muxer;
    muxer.m_video = video;
    if (avformat_alloc_output_context2(&muxer.m_formatContext, nullptr, "mp4", nullptr) < 0 ||
        !muxer.m_formatContext) {
        muxer.m_formatContext = nullptr;
        return -1;
    }
    muxer.m_outputFormat = muxer.m_formatContext->oformat;
    muxer.m_packet = av_packet_alloc();
    if (!muxer.m_packet || muxer.AddVideoStream() < 0 || muxer.OpenEncoder(muxer.m_videoOut) < 0 ||
        muxer.WarmVideoEncoder() < 0) {
        OS_Log::Error("mux: failed to prepare the video encoder!\n");
        return -1;
    }
    g_prepared = muxer.m_videoOut.codec;
    muxer.m_videoOut.codec = nullptr;
    g_preparedFor = video;
    OS_Log::Info("mux: video encoder for %dx%d prepared in %lld ms\n", video.width, video.height,
                 (long long)(OS_NowMs() - start));
    return 0;
}

void Mp4Muxer::DropPreparedVideoEncoder() {
    std::lock_guard<std::mutex> guard(g_preparedLock);
    avcodec_free_context(&g_prepared);
}

// Puts the prepared encoder in place of the one AddVideoStream made (not
// yet opened) when both have the same settings; the first picture must
// then be a key frame, as after WarmVideoEncoder.
bool Mp4Muxer::TakePreparedEncoder() {
    if (!NeedsWarmUp(m_video))
        return false;
    std::lock_guard<std::mutex> guard(g_preparedLock);
    if (!g_prepared || !SameSettings(g_preparedFor, m_video) || g_prepared->flags != m_videoOut.codec->flags)
        return false;
    avcodec_free_context(&m_videoOut.codec);
    m_videoOut.codec = g_prepared;
    g_prepared = nullptr;
    m_videoKeyOwed = true;
    OS_Log::Info("mux: the prepared video encoder is used\n");
    return true;
}

int Mp4Muxer::EncodeAudio(AVFrame* frame) {
    if (!m_headerWritten || !m_audioOut.codec || !frame)
        return -1;
    const AVFrame* input = ToEncoderFormat(m_audioOut, frame);
    if (!input) {
        OS_Log::Warning("Error encoding audio frame\n");
        return -1;
    }
    return EncodeAndWrite(m_audioOut, input);
}

// The encoder's own frame when it wants planar float, else frame itself.
const AVFrame* Mp4Muxer::ToEncoderFormat(OutputStream& os, const AVFrame* frame) {
    AVFrame* out = os.converted;
    if (!out)
        return frame;
    int channels = os.codec->ch_layout.nb_channels;
    if (frame->format != AV_SAMPLE_FMT_S16 || frame->ch_layout.nb_channels != channels ||
        frame->nb_samples > m_audio.frameSize)
        return nullptr;
    // The encoder may still hold the previous block: writing needs our own copy.
    out->nb_samples = m_audio.frameSize;
    if (av_frame_make_writable(out) < 0)
        return nullptr;
    int converted = swr_convert(os.converter, out->extended_data, m_audio.frameSize,
                                const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted != frame->nb_samples)
        return nullptr;
    out->nb_samples = converted;
    out->pts = frame->pts;
    return out;
}

// The one path for both streams: send the frame (null drains the encoder),
// take every packet it gives, move its times from the codec's time base to
// the stream's and write it. A failed write loses that packet; the others
// are still taken so the encoder stays usable.
int Mp4Muxer::EncodeAndWrite(OutputStream& os, const AVFrame* frame) {
    if (avcodec_send_frame(os.codec, frame) < 0) {
        if (os.encodeError)
            OS_Log::Global().Print(os.encodeErrorLevel, "%s", os.encodeError);
        return -1;
    }
    int result = 0;
    for (;;) {
        int err = avcodec_receive_packet(os.codec, m_packet);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            break;
        if (err < 0) {
            if (os.encodeError)
                OS_Log::Global().Print(os.encodeErrorLevel, "%s", os.encodeError);
            return -1;
        }
        // The MPEG-4 encoder leaves durations unset; the MP4 writer would give
        // the last picture none, and players would drop it.
        if (m_packet->duration == 0 && os.codec->codec_type == AVMEDIA_TYPE_VIDEO)
            m_packet->duration = 1;
        // The AAC encoder's warm-up comes first, before time 0; moved to
        // start at 0 the track needs no edit list, which players ignore in
        // fragmented files (see AudioStartDelay).
        if (os.codec->codec_type == AVMEDIA_TYPE_AUDIO && m_packet->pts != AV_NOPTS_VALUE) {
            m_packet->pts += os.codec->initial_padding;
            m_packet->dts += os.codec->initial_padding;
        }
        av_packet_rescale_ts(m_packet, os.codec->time_base, os.stream->time_base);
        m_packet->stream_index = os.stream->index;
        // The packer's one thread already writes in arrival order: no
        // interleaving queue.
        err = av_write_frame(m_formatContext, m_packet);
        av_packet_unref(m_packet);
        if (err < 0) {
            OS_Log::Error("%s", os.writeError);
            LogReason(OS_Log::LEVEL_ERROR, "write", err);
            m_lastWriteError = err;
            result = -1;
        } else if (result == 0) {
            result = 1;
        }
    }
    return result;
}

int Mp4Muxer::AudioStartDelay() const { return m_audioOut.codec ? m_audioOut.codec->initial_padding : 0; }

int Mp4Muxer::Close() {
    int result = 0;
    if (m_headerWritten) {
        // Both encoders hold frames back (AAC always does): without draining
        // the end of every recording would be lost.
        if (m_videoOut.codec && EncodeAndWrite(m_videoOut, nullptr) < 0)
            result = -1;
        if (m_audioOut.codec && EncodeAndWrite(m_audioOut, nullptr) < 0)
            result = -1;
        int err = av_write_trailer(m_formatContext);
        if (err < 0) {
            OS_Log::Error("mux: failed to write trailer!\n");
            LogReason(OS_Log::LEVEL_ERROR, "trailer", err);
            m_lastWriteError = err;
            result = -1;
        }
        m_headerWritten = false;
    }
    // Buffered bytes reach the disk only here: a full disk may show now.
    if (m_formatContext && m_formatContext->pb && !(m_outputFormat->flags & AVFMT_NOFILE)) {
        int err = avio_closep(&m_formatContext->pb);
        if (err < 0) {
            LogReason(OS_Log::LEVEL_ERROR, "close", err);
            m_lastWriteError = err;
            result = -1;
        }
    }
    Release();
    return result;
}

void Mp4Muxer::Release() {
    for (OutputStream* os : {&m_videoOut, &m_audioOut}) {
        avcodec_free_context(&os->codec);
        av_frame_free(&os->converted);
        swr_free(&os->converter);
        *os = OutputStream();
    }
    av_packet_free(&m_packet);
    if (m_formatContext) {
        if (m_formatContext->pb && !(m_outputFormat->flags & AVFMT_NOFILE))
            avio_closep(&m_formatContext->pb);
        avformat_free_context(m_formatContext);
        m_formatContext = nullptr;
    }
    m_outputFormat = nullptr;
    m_videoStreamIndex = -1;
    m_audioStreamIndex = -1;
    m_headerWritten = false;
    m_videoKeyOwed = false;
    m_tookPrepared = false;
}
