#include "media/VideoFrameScaler.h"

#include <cstring>

#include <libyuv/convert_from_argb.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

// The rest goes through swscale: pictures that are resized, and the
// camera's formats. Filter for pictures that are resized.
const int RESIZE_FLAGS = SWS_BICUBIC;
// Every window records at the source size. There swscale copies luma
// unfiltered whatever the flag, which then only picks the vertical filter
// that halves the chroma rows: bicubic runs 8 taps over every row's chroma
// and costs about 3 ms of a 7 ms 1080p picture; point takes one row's
// chroma (still averaged over two pixels across) and converts only the rows
// it needs. The difference shows on one-pixel coloured lines only.
const int SAME_SIZE_FLAGS = SWS_POINT;

// swscale's input readers may read up to 32 bytes past the end of a row
// (packed RGB at odd widths, tiny pictures). Inside a picture that lands in
// the next row; past the last row it would leave the buffer, which for a
// picture at the end of a mapping is a crash. So the last rows are
// converted from a copy followed by this much slack.
const int TAIL_SLACK = 64;

}  // namespace

VideoFrameScaler::VideoFrameScaler()
    : m_context(nullptr), m_frame(nullptr), m_direct(false), m_tail(nullptr), m_tailRows(0), m_srcWidth(0),
      m_srcHeight(0), m_srcFormat(AV_PIX_FMT_NONE), m_dstWidth(0), m_dstHeight(0), m_dstFormat(AV_PIX_FMT_NONE),
      m_pictureSize(0) {}

VideoFrameScaler::~VideoFrameScaler() { Free(); }

int VideoFrameScaler::SourceFormat(uint32_t fourcc, int bitsPerPixel) {
    if (fourcc == FOURCC_YUY2)
        return AV_PIX_FMT_YUYV422;
    if (fourcc != 0)
        return -1;
    if (bitsPerPixel == 24)
        return AV_PIX_FMT_BGR24;
    if (bitsPerPixel == 32)
        return AV_PIX_FMT_BGR0;
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
    if (AllocFrame() < 0)
        return -1;

    // Screen pictures at their own size: libyuv's SIMD converter, which
    // averages each 2 x 2 block for the chroma, reads the fourth byte not at
    // all, and never reads past a row. Several times faster than swscale's
    // generic path. An encoder that needs even sizes gets the picture less
    // its odd last column or row, cut rather than scaled.
    m_direct = m_srcFormat == AV_PIX_FMT_BGR0 && (dstWidth == srcWidth || dstWidth == (srcWidth & ~1)) &&
               (dstHeight == srcHeight || dstHeight == (srcHeight & ~1));
    if (m_direct)
        return 0;

    // At odd widths the fast chroma input pairs the last pixel of a row with
    // the first of the next: take chroma at full width instead.
    int flags = (srcWidth == dstWidth && srcHeight == dstHeight) ? SAME_SIZE_FLAGS : RESIZE_FLAGS;
    if (srcWidth % 2)
        flags |= SWS_FULL_CHR_H_INP;
    m_context = sws_getContext(srcWidth, srcHeight, (AVPixelFormat)m_srcFormat, dstWidth, dstHeight,
                               (AVPixelFormat)m_dstFormat, flags, nullptr, nullptr, nullptr);
    if (!m_context)
        return -1;
    int rowBytes = pictureSize / srcHeight;
    m_tailRows = (TAIL_SLACK + rowBytes - 1) / rowBytes;
    if (m_tailRows > srcHeight)
        m_tailRows = srcHeight;
    m_tail = new uint8_t[(size_t)m_tailRows * rowBytes + TAIL_SLACK];
    return 0;
}

int VideoFrameScaler::AllocFrame() {
    m_frame = av_frame_alloc();
    if (!m_frame)
        return -1;
    m_frame->format = m_dstFormat;
    m_frame->width = m_dstWidth;
    m_frame->height = m_dstHeight;
    // A refcounted buffer: the encoder takes a reference instead of copying
    // every picture once more.
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        Free();
        return -1;
    }
    // Its pages made now, not by the first picture of the recording.
    for (int plane = 0; plane < 3; ++plane) {
        int rows = plane == 0 ? m_dstHeight : (m_dstHeight + 1) / 2;
        memset(m_frame->data[plane], 0, (size_t)m_frame->linesize[plane] * rows);
    }
    return 0;
}

AVFrame* VideoFrameScaler::Scale(const uint8_t* picture, int32_t pts) {
    if (!m_frame || (!m_direct && !m_context) || !picture)
        return nullptr;
    // Copies only if the encoder still holds the previous picture.
    if (av_frame_make_writable(m_frame) < 0)
        return nullptr;
    if (m_direct) {
        // libyuv's "ARGB" is blue, green, red, alpha in memory.
        libyuv::ARGBToI420(picture, m_srcWidth * 4, m_frame->data[0], m_frame->linesize[0], m_frame->data[1],
                           m_frame->linesize[1], m_frame->data[2], m_frame->linesize[2], m_dstWidth, m_dstHeight);
        m_frame->pts = pts;
        return m_frame;
    }
    uint8_t* planes[4];
    int strides[4];
    if (av_image_fill_arrays(planes, strides, picture, (AVPixelFormat)m_srcFormat, m_srcWidth, m_srcHeight, 1) < 0)
        return nullptr;
    // Straight from the picture but its last rows, which come from the copy
    // with slack; the slack repeats the last bytes so edge pixels keep
    // their colour.
    int headRows = m_srcHeight - m_tailRows;
    if (headRows > 0)
        sws_scale(m_context, planes, strides, 0, headRows, m_frame->data, m_frame->linesize);
    size_t tailBytes = (size_t)m_tailRows * strides[0];
    memcpy(m_tail, planes[0] + (size_t)headRows * strides[0], tailBytes);
    int unit = (m_srcFormat == AV_PIX_FMT_BGR24 || m_srcFormat == AV_PIX_FMT_RGB24) ? 3 : 4;
    for (int i = 0; i < TAIL_SLACK; ++i)
        m_tail[tailBytes + i] = m_tail[tailBytes - unit + i % unit];
    const uint8_t* tailPlanes[4] = {m_tail, nullptr, nullptr, nullptr};
    sws_scale(m_context, tailPlanes, strides, headRows, m_tailRows, m_frame->data, m_frame->linesize);
    m_frame->pts = pts;
    return m_frame;
}

void VideoFrameScaler::Free() {
    sws_freeContext(m_context);
    m_context = nullptr;
    av_frame_free(&m_frame);
    delete[] m_tail;
    m_tail = nullptr;
    m_tailRows = 0;
    m_pictureSize = 0;
    m_direct = false;
}
