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

}  // namespace

LatestFrame::LatestFrame()
    : m_blocks(SharedBlocks::Frames()), m_regionX(0), m_regionY(0), m_regionWidth(0), m_regionHeight(0),
      m_spare(nullptr), m_width(0), m_height(0), m_baseWidth(0), m_baseHeight(0), m_front(nullptr),
      m_frontArea(), m_last(nullptr), m_lastArea(), m_underX(0), m_underY(0), m_underWidth(0), m_underHeight(0),
      m_pictures(0), m_cursorVisible(false), m_cursorChanged(false), m_cursorX(0), m_cursorY(0), m_hotX(0),
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
    // the encoder may still hold the last picture: the shared count decides
    for (uint8_t** block : {&m_spare, &m_front, &m_last}) {
        m_blocks.Free(*block);
        *block = nullptr;
    }
    m_width = m_height = m_baseWidth = m_baseHeight = 0;
    m_cursorVisible = m_cursorChanged = false;
    m_pictures = 0;
    m_cursorWidth = m_cursorHeight = m_underWidth = m_underHeight = 0;
    m_converted.clear();
    m_cursorImage.clear();
}

void LatestFrame::Fix(int width, int height) {
    m_width = width;
    m_height = height;
    // larger blocks for a picture above the pool's size, mapped now
    unsigned bytes = (unsigned)width * height * 4;
    if (m_blocks.Pool().BlockSize() < bytes)
        m_blocks.Pool().Reserve(bytes);
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

    // the block to make it in: none free (the encoder is behind) leaves
    // this picture out, the one before stays the newest
    if (!m_spare)
        m_spare = (uint8_t*)m_blocks.Alloc((unsigned)width * height * 4);
    if (!m_spare || m_blocks.Pool().BlockSize() < (unsigned)width * height * 4)
        return;

    // the region in this picture: it grows and shrinks with the stream
    Area a = {0, 0, p.width, p.height};
    if (m_regionWidth > 0) {
        a.x = (int)((int64_t)m_regionX * p.width / m_baseWidth);
        a.y = (int)((int64_t)m_regionY * p.height / m_baseHeight);
        a.width = (int)((int64_t)m_regionWidth * p.width / m_baseWidth);
        a.height = (int)((int64_t)m_regionHeight * p.height / m_baseHeight);
        a.x = std::min(a.x, p.width - 1);
        a.y = std::min(a.y, p.height - 1);
        a.width = std::max(1, std::min(a.width, p.width - a.x));
        a.height = std::max(1, std::min(a.height, p.height - a.y));
    }
    const uint8_t* src = p.data + (size_t)a.y * p.stride + (size_t)a.x * BytesPerPixel(p.pixels);

    // into BGRx of the fixed size: the one copy of this picture
    if (a.width == width && a.height == height) {
        ToBgrx(p, src, a.width, a.height, m_spare, width * 4);
    } else {
        const uint8_t* bgrx = src;
        int stride = p.stride;
        if (p.pixels != StreamPixels::BGRX && p.pixels != StreamPixels::BGRA) {
            m_converted.resize((size_t)a.width * a.height * 4);
            ToBgrx(p, src, a.width, a.height, m_converted.data(), a.width * 4);
            bgrx = m_converted.data();
            stride = a.width * 4;
        }
        libyuv::ARGBScale(bgrx, stride, a.width, a.height, m_spare, width * 4, width, height,
                          libyuv::kFilterBilinear);
    }

    // hand it over; a picture not taken yet is replaced, its block reused
    OS_MutexLocker lock(m_lock);
    std::swap(m_front, m_spare);
    m_frontArea = a;
    ++m_pictures;
}

void LatestFrame::PutCursor(const StreamCursor& c) {
    OS_MutexLocker lock(m_lock);
    // the producer repeats the position with every buffer and sends an
    // image only when it changed
    m_cursorChanged = m_cursorChanged || c.visible != m_cursorVisible ||
                      (c.visible && (c.x != m_cursorX || c.y != m_cursorY || c.argb));
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

void LatestFrame::DrawCursor(uint8_t* picture, const Area& a, bool keep) {
    int x, y;
    if (!m_cursorVisible || m_cursorWidth == 0 ||
        !CursorDrawPosition(m_cursorX, m_cursorY, m_hotX, m_hotY, a.x, a.y, m_width, m_height, a.width,
                            a.height, &x, &y)) {
        if (keep)
            m_underWidth = m_underHeight = 0;
        return;
    }
    if (keep) {
        m_underX = x;
        m_underY = y;
        m_underWidth = std::min(m_cursorWidth, m_width - x);
        m_underHeight = std::min(m_cursorHeight, m_height - y);
        m_under.resize((size_t)m_underWidth * m_underHeight * 4);
        for (int r = 0; r < m_underHeight; ++r)
            memcpy(&m_under[(size_t)r * m_underWidth * 4], picture + ((size_t)(y + r) * m_width + x) * 4,
                   (size_t)m_underWidth * 4);
    }
    BlendCursor(picture, m_width, m_height, m_width * 4, m_cursorImage.data(), m_cursorWidth, m_cursorHeight, x,
                y);
}

void LatestFrame::Uncover(uint8_t* picture) {
    for (int r = 0; r < m_underHeight; ++r)
        memcpy(picture + ((size_t)(m_underY + r) * m_width + m_underX) * 4, &m_under[(size_t)r * m_underWidth * 4],
               (size_t)m_underWidth * 4);
}

void* LatestFrame::Take(int size) {
    OS_MutexLocker lock(m_lock);
    if ((!m_front && !m_last) || size != m_width * m_height * 4)
        return nullptr;
    uint8_t* picture = m_front;
    Area area = m_frontArea;
    if (picture) {
        m_front = nullptr;
    } else if (!m_cursorChanged && m_blocks.Share(m_last) == 0) {
        // nothing changed since: the very block handed on last, no copy
        return m_last;
    } else {
        // nothing new: the last one again, with the cursor where it is now
        picture = (uint8_t*)m_blocks.Alloc((unsigned)size);
        if (!picture)
            return nullptr;
        memcpy(picture, m_last, (size_t)size);
        Uncover(picture);
        area = m_lastArea;
    }
    DrawCursor(picture, area, true);
    m_cursorChanged = false;
    // kept to be handed on again; when the count is full, handed on alone
    // and the next period finds nothing until the stream sends more
    m_blocks.Free(m_last);
    m_last = m_blocks.Share(picture) == 0 ? picture : nullptr;
    m_lastArea = area;
    return picture;
}

int LatestFrame::Grab(void* buffer, int size) {
    OS_MutexLocker lock(m_lock);
    if ((!m_front && !m_last) || size != m_width * m_height * 4)
        return -1;
    memcpy(buffer, m_front ? m_front : m_last, (size_t)size);
    if (!m_front)
        Uncover((uint8_t*)buffer);
    DrawCursor((uint8_t*)buffer, m_front ? m_frontArea : m_lastArea, false);
    return 0;
}

int64_t LatestFrame::PicturesPut() const {
    OS_MutexLocker lock(const_cast<OS_Mutex&>(m_lock));
    return m_pictures;
}
