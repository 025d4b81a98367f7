#include "tests/support/Mp4Probe.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

std::string AvError(const char* what, int err) {
    char text[AV_ERROR_MAX_STRING_SIZE];
    av_strerror(err, text, sizeof text);
    return std::string(what) + ": " + text;
}

// An open file with one stream's decoder; frees both on scope exit.
struct StreamDecoder {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;

    ~StreamDecoder() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    int OpenFile(const std::string& path, std::string* error) {
        int err = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
        if (err >= 0 && (err = avformat_find_stream_info(format, nullptr)) < 0)
            *error = AvError("stream info", err);
        else if (err < 0)
            *error = AvError("open", err);
        return err < 0 ? -1 : 0;
    }

    int Open(const std::string& path, int index, std::string* error) {
        if (OpenFile(path, error) < 0)
            return -1;
        if (index < 0 || index >= (int)format->nb_streams) {
            *error = "no such stream";
            return -1;
        }
        stream = index;
        AVCodecParameters* par = format->streams[index]->codecpar;
        const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
        codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!codec || !packet || !frame || avcodec_parameters_to_context(codec, par) < 0 ||
            avcodec_open2(codec, decoder, nullptr) < 0) {
            *error = "cannot open decoder";
            return -1;
        }
        codec->pkt_timebase = format->streams[index]->time_base;
        return 0;
    }

    // Feeds every packet of the stream, then drains, calling onFrame(frame) for each. 0 or -1.
    template <typename F>
    int Run(F onFrame, std::string* error) {
        for (;;) {
            int err = av_read_frame(format, packet);
            if (err >= 0 && packet->stream_index != stream) {
                av_packet_unref(packet);
                continue;
            }
            avcodec_send_packet(codec, err < 0 ? nullptr : packet);  // null: drain
            av_packet_unref(packet);
            while ((err = avcodec_receive_frame(codec, frame)) >= 0) {
                onFrame(frame);
                av_frame_unref(frame);
            }
            if (err == AVERROR_EOF)
                return 0;
            if (err != AVERROR(EAGAIN)) {
                *error = AvError("decode", err);
                return -1;
            }
        }
    }
};

}  // namespace

void ProbePicture::Average(int x, int y, int w, int h, double* blue, double* green, double* red) const {
    int x0 = std::max(0, x), y0 = std::max(0, y);
    int x1 = std::min(width, x + w), y1 = std::min(height, y + h);
    double sum[3] = {0, 0, 0};
    long count = 0;
    for (int row = y0; row < y1; ++row)
        for (int col = x0; col < x1; ++col, ++count)
            for (int k = 0; k < 3; ++k)
                sum[k] += bgra[((size_t)row * width + col) * 4 + k];
    if (count == 0)
        count = 1;
    *blue = sum[0] / count;
    *green = sum[1] / count;
    *red = sum[2] / count;
}

double ProbeSound::Frequency(int channel) const {
    int64_t frames = Frames();
    double first = -1, last = -1;
    long crossings = 0;
    bool armed = false;  // went below -0.01 since the last crossing: noise in silence does not count
    for (int64_t i = 1; i < frames; ++i) {
        float a = samples[(i - 1) * channels + channel];
        float b = samples[i * channels + channel];
        armed = armed || a < -0.01f;
        if (armed && a < 0 && b >= 0) {
            armed = false;
            double t = (i - 1) + a / (a - b);  // interpolated crossing
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2 || sampleRate == 0)
        return 0;
    return (crossings - 1) * (double)sampleRate / (last - first);
}

double ProbeSound::TonePower(int channel, double hz) const {
    double k = 2 * std::cos(2 * M_PI * hz / sampleRate), s1 = 0, s2 = 0, energy = 0;
    for (int64_t i = 0; i < Frames(); ++i) {
        double x = samples[i * channels + channel];
        double s = x + k * s1 - s2;
        s2 = s1;
        s1 = s;
        energy += x * x;
    }
    double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return energy > 0 ? power / (energy * Frames()) : 0;
}

double ProbeSound::Rms(int channel, int64_t from, int64_t count) const {
    int64_t end = std::min(Frames(), from + count);
    double sum = 0;
    int64_t n = 0;
    for (int64_t i = std::max<int64_t>(0, from); i < end; ++i, ++n) {
        double v = samples[i * channels + channel];
        sum += v * v;
    }
    return n ? std::sqrt(sum / n) : 0;
}

int Mp4Probe::Open(const std::string& path) {
    m_path = path;
    m_streams.clear();
    m_packets.clear();
    m_error.clear();
    StreamDecoder file;  // only the demuxer
    if (file.OpenFile(path, &m_error) < 0)
        return -1;
    AVFormatContext* format = file.format;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* st = format->streams[i];
        const AVCodecParameters* par = st->codecpar;
        ProbeStream s;
        s.kind = par->codec_type == AVMEDIA_TYPE_VIDEO   ? ProbeStream::VIDEO
                 : par->codec_type == AVMEDIA_TYPE_AUDIO ? ProbeStream::AUDIO
                                                         : ProbeStream::OTHER;
        s.codecName = avcodec_get_name(par->codec_id);
        s.width = par->width;
        s.height = par->height;
        s.timeBaseNum = st->time_base.num;
        s.timeBaseDen = st->time_base.den;
        s.sampleRate = par->sample_rate;
        s.channels = par->ch_layout.nb_channels;
        m_streams.push_back(s);
    }
    m_packets.resize(m_streams.size());
    file.packet = av_packet_alloc();
    for (AVPacket* packet = file.packet; packet && av_read_frame(format, packet) >= 0;) {
        ProbePacket p;
        p.pts = packet->pts;
        p.duration = packet->duration;
        p.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        if (packet->stream_index >= 0 && packet->stream_index < (int)m_packets.size())
            m_packets[packet->stream_index].push_back(p);
        av_packet_unref(packet);
    }
    m_duration = format->duration == AV_NOPTS_VALUE ? 0 : (double)format->duration / AV_TIME_BASE;
    return 0;
}

int Mp4Probe::FindStream(ProbeStream::Kind kind) const {
    for (size_t i = 0; i < m_streams.size(); ++i)
        if (m_streams[i].kind == kind)
            return (int)i;
    return -1;
}

const std::vector<ProbePacket>& Mp4Probe::Packets(int stream) const {
    static const std::vector<ProbePacket> none;
    return stream >= 0 && stream < (int)m_packets.size() ? m_packets[stream] : none;
}

int Mp4Probe::DecodePictures(int stream, std::vector<ProbePicture>* pictures) {
    pictures->clear();
    StreamDecoder dec;
    if (dec.Open(m_path, stream, &m_error) < 0)
        return -1;
    SwsContext* sws = nullptr;
    int result = dec.Run(
        [&](AVFrame* frame) {
            sws = sws_getCachedContext(sws, frame->width, frame->height, (AVPixelFormat)frame->format,
                                       frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR | SWS_ACCURATE_RND,
                                       nullptr, nullptr, nullptr);
            ProbePicture p;
            p.width = frame->width;
            p.height = frame->height;
            p.bgra.resize((size_t)frame->width * frame->height * 4);
            uint8_t* dst[4] = {p.bgra.data(), nullptr, nullptr, nullptr};
            int dstStride[4] = {frame->width * 4, 0, 0, 0};
            if (sws)
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            pictures->push_back(std::move(p));
        },
        &m_error);
    sws_freeContext(sws);
    return result;
}

int Mp4Probe::DecodeSound(int stream, ProbeSound* sound) {
    *sound = ProbeSound();
    StreamDecoder dec;
    if (dec.Open(m_path, stream, &m_error) < 0)
        return -1;
    return dec.Run(
        [&](AVFrame* frame) {
            int channels = frame->ch_layout.nb_channels;
            if (sound->channels == 0) {
                sound->sampleRate = frame->sample_rate;
                sound->channels = channels;
                sound->firstPts = frame->best_effort_timestamp;
            }
            // FFmpeg's AAC decoder gives planar floats
            for (int i = 0; i < frame->nb_samples; ++i)
                for (int c = 0; c < channels; ++c)
                    sound->samples.push_back(reinterpret_cast<const float*>(frame->extended_data[c])[i]);
        },
        &m_error);
}
