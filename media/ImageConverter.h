#pragma once

#include <cstdint>

struct SwsContext;

// Same-size pixel-format conversion into a buffer of its own (the camera
// preview turns camera pictures into BGR24 with it). Not thread-safe.
class ImageConverter {
public:
    ImageConverter();
    ~ImageConverter();

    // width x height pictures of FFmpeg pixel format srcFormat to dstFormat.
    // 0, or -1 when FFmpeg refuses the formats or sizes.
    int Init(int width, int height, int srcFormat, int dstFormat);
    // Converts picture (rows packed, top row first) and returns the buffer,
    // valid until the next call; null when Init failed.
    const uint8_t* Convert(const uint8_t* picture);
    // Bytes of one converted picture.
    int BufferSize() const { return m_bufferSize; }
    // Releases the conversion context and the buffer. Safe twice.
    void Free();

private:
    ImageConverter(const ImageConverter&) = delete;
    ImageConverter& operator=(const ImageConverter&) = delete;

    SwsContext* m_context;
    int m_width;
    int m_height;
    int m_srcFormat;
    int m_dstFormat;
    uint8_t* m_buffer;  // owned
    int m_bufferSize;
};
