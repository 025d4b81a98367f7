#include "media/VideoFrameScaler.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

// Bicubic for the rare resized picture; at the same size swscale's luma
// path copies without filtering, so the choice only shapes chroma.
const int SCALE_FLAGS = SWS_BICUBIC;

}  // namespace

VideoFrameScaler::VideoFrameScaler()
    : m_context(nullptr), m_frame(nullptr), m_srcWidth(0), m_srcHeight(0), m_srcFormat(AV_PIX_FMT_NONE),
      m_dstWidth(0), m_dstHeight(0), m_dstFormat(AV_PIX_FMT_NONE), m_pictureSize(0) {}

VideoFrameScaler::~VideoFrameScaler() { Free(); }

int VideoFrameScaler::SourceFormat(uint32_t fourcc, int bitsPerPixel) {
    if (fourcc == FOURCC_YUY2)
        return AV_PIX_FMT_YUYV422;
    if (fourcc != 0)
        return -1;
    if (bitsPerPixel == 24)
        return AV_PIX_FMT_BGR24;
    if (bitsPerPixel == 32)
        return AV_PIX_FMT_BGRA;
    return AV_PIX_FMT_RGB24;
}

int VideoFrameScaler::Init(int srcWidth, int srcHeight, uint32_t fourcc, int bitsPerPixel, int dstWidth,
                           int dstHeight) {
    Free();
    m_srcWidth = srcWidth;
    m_srcHeight = srcHeight;
    m_dstWidth = dstWidth;
    m_dstHeight = dstHeight;
    m_srcFormat = SourceFormat(fourcc, bitsPerPixel);
    if (m_srcFormat < 0)
        return -1;
    m_dstFormat = AV_PIX_FMT_YUV420P;
    int pictureSize = av_image_get_buffer_size((AVPixelFormat)m_srcFormat, srcWidth, srcHeight, 1);
    if (pictureSize <= 0)
        return -1;
    m_pictureSize = pictureSize;

    m_context = sws_getContext(srcWidth, srcHeight, (AVPixelFormat)m_srcFormat, dstWidth, dstHeight,
                               (AVPixelFormat)m_dstFormat, SCALE_FLAGS, nullptr, nullptr, nullptr);
    if (!m_context)
        return -1;
    m_frame = av_frame_alloc();
    if (!m_frame) {
        Free();
        return -1;
    }
    m_frame->format = m_dstFormat;
    m_frame->width = dstWidth;
    m_frame->height = dstHeight;
    // A refcounted buffer: the encoder takes a reference instead of copying
    // every picture once more.
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        Free();
        return -1;
    }
    return 0;
}

AVFrame* VideoFrameScaler::Scale(const uint8_t* picture, int32_t pts) {
    if (!m_context || !picture)
        return nullptr;
    // Copies only if the encoder still holds the previous picture.
    if (av_frame_make_writable(m_frame) < 0)
        return nullptr;
    uint8_t* planes[4];
    int strides[4];
    if (av_image_fill_arrays(planes, strides, picture, (AVPixelFormat)m_srcFormat, m_srcWidth, m_srcHeight, 1) < 0)
        return nullptr;
    sws_scale(m_context, planes, strides, 0, m_srcHeight, m_frame->data, m_frame->linesize);
    m_frame->pts = pts;
    return m_frame;
}

void VideoFrameScaler::Free() {
    sws_freeContext(m_context);
    m_context = nullptr;
    av_frame_free(&m_frame);
    m_pictureSize = 0;
}
