#include "capture/LatestFrame.h"

#include <algorithm>
#include <cstring>
#include <libyuv.h>

#include "capture/PictureOps.h"
#include "os/OS_MutexLocker.h"

namespace {

// Converts w x h pixels of src into packed-stride BGRx at dst (dstStride
// bytes a row) with libyuv; its "ARGB" is B, G, R, A in memory.
void ToBgrx(const StreamPicture& p, const uint8_t* src, int w, int h, uint8_t* dst, int dstStride) {
    switch (p.pixels) {
    case StreamPixels::BGRX:
    case StreamPixels::BGRA: libyuv::ARGBCopy(src, p.stride, dst, dstStride, w, h); break;
    case StreamPixels::RGBX:
    case StreamPixels::RGBA: libyuv::ABGRToARGB(src, p.stride, dst, dstStride, w, h); break;
    case StreamPixels::BGR: libyuv::RGB24ToARGB(src, p.stride, dst, dstStride, w, h); break;
    case StreamPixels::RGB: libyuv::RAWToARGB(src, p.stride, dst, dstStride, w, h); break;
    }
}

int BytesPerPixel(StreamPixels p) { return (p == StreamPixels::BGR || p == StreamPixels::RGB) ? 3 : 4; }

}  // namespace

LatestFrame::LatestFrame()
    : m_regionX(0), m_regionY(0), m_regionWidth(0), m_regionHeight(0), m_width(0), m_height(0),
      m_baseWidth(0), m_baseHeight(0), m_hasPicture(false), m_pictures(0), m_areaX(0), m_areaY(0),
      m_areaWidth(0), m_areaHeight(0), m_cursorVisible(false), m_cursorX(0), m_cursorY(0), m_hotX(0),
      m_hotY(0), m_cursorWidth(0), m_cursorHeight(0) {}

LatestFrame::~LatestFrame() { Close(); }

int LatestFrame::Open(int regionX, int regionY, int regionWidth, int regionHeight) {
    Close();
    m_regionX = std::max(regionX, 0);
    m_regionY = std::max(regionY, 0);
    m_regionWidth = regionWidth > 0 && regionHeight > 0 ? regionWidth : 0;
    m_regionHeight = m_regionWidth > 0 ? regionHeight : 0;
    return m_lock.Init();
}

void LatestFrame::Close() {
    m_width = m_height = m_baseWidth = m_baseHeight = 0;
    m_hasPicture = m_cursorVisible = false;
    m_pictures = 0;
    m_cursorWidth = m_cursorHeight = 0;
    m_front.clear();
    m_back.clear();
    m_converted.clear();
    m_cursorImage.clear();
}

void LatestFrame::Fix(int width, int height) {
    m_width = width;
    m_height = height;
    m_front.assign((size_t)width * height * 4, 0);
}

void LatestFrame::FixSize(int* width, int* height) {
    OS_MutexLocker lock(m_lock);
    if (m_width == 0 && *width > 0 && *height > 0)
        Fix(*width, *height);
    *width = m_width;
    *height = m_height;
}

void LatestFrame::Put(const StreamPicture& p) {
    int width, height;
    {
        OS_MutexLocker lock(m_lock);
        if (m_baseWidth == 0) {
            m_baseWidth = p.width;
            m_baseHeight = p.height;
        }
        if (m_width == 0)
            Fix(m_regionWidth > 0 ? m_regionWidth : p.width, m_regionHeight > 0 ? m_regionHeight : p.height);
        width = m_width;
        height = m_height;
    }

    // the region in this picture: it grows and shrinks with the stream
    int ax = 0, ay = 0, aw = p.width, ah = p.height;
    if (m_regionWidth > 0) {
        ax = (int)((int64_t)m_regionX * p.width / m_baseWidth);
        ay = (int)((int64_t)m_regionY * p.height / m_baseHeight);
        aw = (int)((int64_t)m_regionWidth * p.width / m_baseWidth);
        ah = (int)((int64_t)m_regionHeight * p.height / m_baseHeight);
        ax = std::min(ax, p.width - 1);
        ay = std::min(ay, p.height - 1);
        aw = std::max(1, std::min(aw, p.width - ax));
        ah = std::max(1, std::min(ah, p.height - ay));
    }
    const uint8_t* src = p.data + (size_t)ay * p.stride + (size_t)ax * BytesPerPixel(p.pixels);

    // into BGRx of the fixed size
    m_back.resize((size_t)width * height * 4);
    if (aw == width && ah == height) {
        ToBgrx(p, src, aw, ah, m_back.data(), width * 4);
    } else {
        const uint8_t* bgrx = src;
        int stride = p.stride;
        if (p.pixels != StreamPixels::BGRX && p.pixels != StreamPixels::BGRA) {
            m_converted.resize((size_t)aw * ah * 4);
            ToBgrx(p, src, aw, ah, m_converted.data(), aw * 4);
            bgrx = m_converted.data();
            stride = aw * 4;
        }
        libyuv::ARGBScale(bgrx, stride, aw, ah, m_back.data(), width * 4, width, height, libyuv::kFilterBilinear);
    }

    // hand it over
    OS_MutexLocker lock(m_lock);
    if (m_front.size() == m_back.size())
        m_front.swap(m_back);
    m_areaX = ax;
    m_areaY = ay;
    m_areaWidth = aw;
    m_areaHeight = ah;
    m_hasPicture = true;
    ++m_pictures;
}

void LatestFrame::PutCursor(const StreamCursor& c) {
    OS_MutexLocker lock(m_lock);
    m_cursorVisible = c.visible;
    if (!c.visible)
        return;
    m_cursorX = c.x;
    m_cursorY = c.y;
    if (c.argb) {
        m_hotX = c.hotX;
        m_hotY = c.hotY;
        m_cursorWidth = c.width;
        m_cursorHeight = c.height;
        m_cursorImage.assign(c.argb, c.argb + (size_t)c.width * c.height);
    }
}

int LatestFrame::Grab(void* buffer, int size) {
    OS_MutexLocker lock(m_lock);
    if (!m_hasPicture || size != m_width * m_height * 4)
        return -1;
    memcpy(buffer, m_front.data(), (size_t)size);
    int x, y;
    if (m_cursorVisible && m_cursorWidth > 0 &&
        CursorDrawPosition(m_cursorX, m_cursorY, m_hotX, m_hotY, m_areaX, m_areaY, m_width, m_height,
                           m_areaWidth, m_areaHeight, &x, &y))
        BlendCursor((uint8_t*)buffer, m_width, m_height, m_width * 4, m_cursorImage.data(), m_cursorWidth,
                    m_cursorHeight, x, y);
    return 0;
}

int64_t LatestFrame::PicturesPut() const {
    OS_MutexLocker lock(const_cast<OS_Mutex&>(m_lock));
    return m_pictures;
}
