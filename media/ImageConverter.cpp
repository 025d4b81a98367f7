#include "media/ImageConverter.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

ImageConverter::ImageConverter()
    : m_context(nullptr), m_width(0), m_height(0), m_srcFormat(AV_PIX_FMT_NONE), m_dstFormat(AV_PIX_FMT_NONE),
      m_buffer(nullptr), m_bufferSize(0) {}

ImageConverter::~ImageConverter() { Free(); }

int ImageConverter::Init(int width, int height, int srcFormat, int dstFormat) {
    Free();
    m_width = width;
    m_height = height;
    m_srcFormat = srcFormat;
    m_dstFormat = dstFormat;
    int size = av_image_get_buffer_size((AVPixelFormat)dstFormat, width, height, 1);
    if (size <= 0)
        return -1;
    m_context = sws_getContext(width, height, (AVPixelFormat)srcFormat, width, height, (AVPixelFormat)dstFormat,
                               SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!m_context)
        return -1;
    m_bufferSize = size;
    m_buffer = new uint8_t[size];
    return 0;
}

const uint8_t* ImageConverter::Convert(const uint8_t* picture) {
    if (!m_context || !picture)
        return nullptr;
    uint8_t* srcPlanes[4];
    int srcStrides[4];
    uint8_t* dstPlanes[4];
    int dstStrides[4];
    if (av_image_fill_arrays(srcPlanes, srcStrides, picture, (AVPixelFormat)m_srcFormat, m_width, m_height, 1) < 0 ||
        av_image_fill_arrays(dstPlanes, dstStrides, m_buffer, (AVPixelFormat)m_dstFormat, m_width, m_height, 1) < 0)
        return nullptr;
    sws_scale(m_context, srcPlanes, srcStrides, 0, m_height, dstPlanes, dstStrides);
    return m_buffer;
}

void ImageConverter::Free() {
    sws_freeContext(m_context);
    m_context = nullptr;
    delete[] m_buffer;
    m_buffer = nullptr;
    m_bufferSize = 0;
}
