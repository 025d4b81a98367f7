#pragma once

#include <cstdint>

struct AVFrame;
struct SwsContext;

// Converts captured pictures into the video encoder's frame: YUV 4:2:0 at
// the coded size (BT.601, studio range). Screen pictures kept at their size
// go through libyuv's SIMD converter; resizing and the camera's formats
// through swscale. One frame, reused for every picture. Not thread-safe:
// the packer thread alone uses it.
class VideoFrameScaler {
public:
    // fourcc of packed YUV 4:2:2 camera pictures: 'Y','U','Y','2' in memory.
    static constexpr uint32_t FOURCC_YUY2 = 0x32595559;

    VideoFrameScaler();
    ~VideoFrameScaler();

    // Pictures of srcWidth x srcHeight, described by fourcc (0: by
    // bitsPerPixel, 24 BGR or 32 BGR and an unused byte; "YUY2": packed
    // 4:2:2), are converted
    // to dstWidth x dstHeight (one less than an odd source size: cut). 0, or -1 for any other fourcc or when FFmpeg
    // refuses the sizes.
    int Init(int srcWidth, int srcHeight, uint32_t fourcc, int bitsPerPixel, int dstWidth, int dstHeight);
    // Bytes of one source picture (rows packed, top row first).
    int PictureSize() const { return m_pictureSize; }
    // Converts picture (PictureSize() bytes; nothing past them is read) into
    // the frame and sets its pts.
    // The frame, valid until the next call; null when the frame cannot be
    // made writable or Init failed.
    AVFrame* Scale(const uint8_t* picture, int32_t pts);
    // Releases the conversion context and the frame. Safe twice.
    void Free();

    // FFmpeg pixel format for a picture description, or -1 when refused
    // (32 bits: AV_PIX_FMT_BGR0, the fourth byte is not read).
    static int SourceFormat(uint32_t fourcc, int bitsPerPixel);

private:
    VideoFrameScaler(const VideoFrameScaler&) = delete;
    VideoFrameScaler& operator=(const VideoFrameScaler&) = delete;

    int AllocFrame();

    SwsContext* m_context;   // null on the direct path
    AVFrame* m_frame;        // refcounted, so the encoder can reference it
    bool m_direct;           // same-size BGR0: libyuv instead of m_context
    uint8_t* m_tail;         // owned: the last rows of a picture, with slack after them
    int m_tailRows;
    int m_srcWidth;
    int m_srcHeight;
    int m_srcFormat;
    int m_dstWidth;
    int m_dstHeight;
    int m_dstFormat;
    int m_pictureSize;
};
