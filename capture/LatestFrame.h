#pragma once

#include <cstdint>
#include <vector>

#include "media/SharedBlocks.h"
#include "os/OS_Mutex.h"
#include "platform/pipewire/PipeWireStream.h"

// The newest picture of a stream that sends pictures only when something
// changed, kept as 4-byte BGRx of a size fixed once, with the newest cursor,
// so that a capture thread can take one whenever its frame period begins.
//
// A picture is copied once, out of the stream's buffer straight into a block
// of the frame pool, and Take hands that block on as it is. The block handed
// on last stays shared (SharedBlocks) so that a still screen, which sends
// nothing new, is handed on again from it: as it is while the cursor stays
// put, else copied with the cursor moved.
//
// The stream's thread calls Put and PutCursor; the capture thread calls
// Take or Grab; FixSize may come from either. Open and Close are the
// owner's, with neither thread running.
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
    // The newest picture with the cursor drawn, in a block of Blocks() that
    // the caller now holds (size bytes: the fixed width x height x 4), or
    // null before the first picture, for a wrong size, or when the pool has
    // no block free.
    void* Take(int size);
    // Copies the newest picture, with the cursor drawn, into buffer (size
    // bytes). 0, or -1 before the first picture or for a wrong size.
    int Grab(void* buffer, int size);
    // Where the blocks Take gives come from and go back to.
    SharedBlocks& Blocks() { return m_blocks; }

    // Pictures Put so far.
    int64_t PicturesPut() const;

private:
    LatestFrame(const LatestFrame&) = delete;
    LatestFrame& operator=(const LatestFrame&) = delete;

    // Where a picture came from in stream pixels, for the cursor.
    struct Area {
        int x, y, width, height;
    };

    // Under m_lock: sizes the pictures.
    void Fix(int width, int height);
    // Under m_lock: draws the cursor into picture, taken from area; with
    // keep, what it covers is kept in m_under first.
    void DrawCursor(uint8_t* picture, const Area& area, bool keep);
    // Under m_lock: puts back into picture what the cursor of m_last covers.
    void Uncover(uint8_t* picture);

    SharedBlocks& m_blocks;

    // set by Open
    int m_regionX, m_regionY, m_regionWidth, m_regionHeight;

    // the stream's thread only
    std::vector<uint8_t> m_converted;  // a picture turned into BGRx before scaling
    uint8_t* m_spare;                  // the block the next picture is made in

    OS_Mutex m_lock;  // guards the fields below; held only for copies and swaps
    int m_width, m_height;             // fixed picture size; 0 until fixed
    int m_baseWidth, m_baseHeight;     // the stream's size at its first picture
    uint8_t* m_front;                  // the newest picture not handed on yet, or null
    Area m_frontArea;
    uint8_t* m_last;                   // the picture handed on last, cursor drawn, or null
    Area m_lastArea;
    int m_underX, m_underY, m_underWidth, m_underHeight;  // what its cursor covers
    std::vector<uint8_t> m_under;
    int64_t m_pictures;
    bool m_cursorVisible;
    bool m_cursorChanged;              // since the last picture Take drew it into
    int m_cursorX, m_cursorY, m_hotX, m_hotY, m_cursorWidth, m_cursorHeight;
    std::vector<uint32_t> m_cursorImage;
};
