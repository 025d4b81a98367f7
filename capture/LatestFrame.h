#pragma once

#include <cstdint>
#include <vector>

#include "os/OS_Mutex.h"
#include "platform/pipewire/PipeWireStream.h"

// The newest picture of a stream that sends pictures only when something
// changed, kept as 4-byte BGRx of a size fixed once, with the newest cursor,
// so that a capture thread can take one whenever its frame period begins.
//
// The stream's thread calls Put and PutCursor; the capture thread calls
// Grab; FixSize may come from either. Open and Close are the owner's, with
// neither thread running.
class LatestFrame {
public:
    LatestFrame();
    ~LatestFrame();

    // The part of the stream to keep, in stream pixels: regionWidth <= 0 for
    // the whole picture. 0, or -1 when the mutex cannot be made.
    int Open(int regionX, int regionY, int regionWidth, int regionHeight);
    void Close();

    // Fixes the pictures' size to *width x *height unless a picture fixed it
    // already, and sets both to the size in force.
    void FixSize(int* width, int* height);
    // A new picture of the stream: the region is cut from it (scaled with
    // the picture when the stream changed size since the first one), turned
    // into BGRx and scaled into the fixed size, which the first picture
    // fixes when nothing has.
    void Put(const StreamPicture& picture);
    // The cursor, drawn into every picture Grab gives until the next call.
    void PutCursor(const StreamCursor& cursor);
    // Copies the newest picture, with the cursor drawn, into buffer (size
    // bytes: the fixed width x height x 4). 0, or -1 before the first
    // picture or for a wrong size.
    int Grab(void* buffer, int size);

    // Pictures Put so far.
    int64_t PicturesPut() const;

private:
    LatestFrame(const LatestFrame&) = delete;
    LatestFrame& operator=(const LatestFrame&) = delete;

    // Under m_lock: sizes the pictures.
    void Fix(int width, int height);

    // set by Open
    int m_regionX, m_regionY, m_regionWidth, m_regionHeight;

    // the stream's thread only
    std::vector<uint8_t> m_converted;  // a picture turned into BGRx before scaling
    std::vector<uint8_t> m_back;       // the picture being made

    OS_Mutex m_lock;  // guards the fields below; held only for copies and swaps
    int m_width, m_height;             // fixed picture size; 0 until fixed
    int m_baseWidth, m_baseHeight;     // the stream's size at its first picture
    std::vector<uint8_t> m_front;      // the newest finished picture
    bool m_hasPicture;
    int64_t m_pictures;
    // where the newest picture came from in stream pixels, for the cursor
    int m_areaX, m_areaY, m_areaWidth, m_areaHeight;
    bool m_cursorVisible;
    int m_cursorX, m_cursorY, m_hotX, m_hotY, m_cursorWidth, m_cursorHeight;
    std::vector<uint32_t> m_cursorImage;
};
