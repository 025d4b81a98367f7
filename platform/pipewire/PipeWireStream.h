#pragma once

#include <atomic>
#include <cstdint>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_registry;
struct spa_hook;
struct spa_buffer;

// Pixel orders a screen stream may come in, named by their bytes in memory.
enum class StreamPixels { BGRX, BGRA, RGBX, RGBA, BGR, RGB };

inline int BytesPerPixel(StreamPixels p) { return (p == StreamPixels::BGR || p == StreamPixels::RGB) ? 3 : 4; }

// One picture of the stream, valid only during the call that hands it over:
// the buffer goes back to the producer right after.
struct StreamPicture {
    const uint8_t* data;  // the first pixel of the producer's crop
    int width, height;    // of the crop
    int stride;           // bytes from one row to the next
    StreamPixels pixels;
};

// The cursor as the producer described it beside the picture, in the
// stream's pixels. argb: premultiplied 0xAARRGGBB, rows packed; valid only
// during the call (null when the image did not change).
struct StreamCursor {
    bool visible;
    int x, y;          // the pointer, relative to the stream's picture
    int hotX, hotY;    // the hot spot in the image
    int width, height; // of argb
    const uint32_t* argb;
};

// Receives what the stream delivers. Called on PipeWire's thread, which must
// not wait: copy what is needed and return.
class StreamSink {
public:
    // A new picture (after the cursor of the same buffer, if any).
    virtual void OnStreamPicture(const StreamPicture& picture) = 0;
    // The cursor moved, changed or was hidden (metadata mode only).
    virtual void OnStreamCursor(const StreamCursor& cursor) = 0;
    // The stream ended (the producer went away, an error, the connection
    // lost); called once.
    virtual void OnStreamEnded() = 0;

protected:
    ~StreamSink() = default;
};

// A PipeWire video stream consumed on its own thread (pw_thread_loop): a
// screen-sharing portal's node on the connection the portal opened.
// Accepts 32-bit BGRx, BGRA, RGBx, RGBA and 24-bit BGR, RGB in shared-memory
// buffers (the producer picks); asks for the header, crop and cursor
// metadata, so that the cursor can be drawn by the consumer.
//
// The owner calls Open, WaitForFormat, and Close; everything else happens on
// PipeWire's thread.
class PipeWireStream {
public:
    PipeWireStream();
    ~PipeWireStream();

    // Connects on a duplicate of fd (a PipeWire remote; the caller keeps
    // fd) to node, handing what comes to sink (not owned, must outlive
    // Close). 0, or -1 (logged) when PipeWire cannot be reached.
    int Open(int fd, uint32_t node, StreamSink* sink);
    // Asks the producer for at most perSecond pictures a second (0: all it
    // makes). Before Open; after it, the format is negotiated again. Owner.
    void SetMaxFrameRate(int perSecond);
    // Waits up to timeoutMs for the producer to fix the picture's size.
    // 0 with *width, *height set, or -1 (time-out, or the stream ended).
    int WaitForFormat(int timeoutMs, int* width, int* height);
    // Disconnects and stops the thread; the sink is not called after.
    // Safe in any state, twice.
    void Close();

    // True once the stream ended (OnStreamEnded was called).
    bool HasEnded() const { return m_ended; }

private:
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // PipeWire's callbacks (its thread, its loop locked)
    static void OnStateChanged(void* data, int old, int state, const char* error);
    static void OnParamChanged(void* data, uint32_t id, const struct spa_pod* param);
    static void OnProcess(void* data);
    static void OnGlobalRemoved(void* data, uint32_t id);
    static void OnCoreError(void* data, uint32_t id, int seq, int res, const char* message);

    // The formats we take, built in b.
    const struct spa_pod* EnumFormat(struct spa_pod_builder* b) const;
    void Process();
    void ReadCursor(struct spa_buffer* buffer);
    void ReadPicture(struct spa_buffer* buffer);
    void End(const char* why);

    pw_thread_loop* m_loop;
    pw_context* m_context;
    pw_core* m_core;
    pw_stream* m_stream;
    pw_registry* m_registry;
    spa_hook* m_streamHook;  // listener records PipeWire keeps pointers to
    spa_hook* m_coreHook;
    spa_hook* m_registryHook;
    uint32_t m_node;         // the producer's node
    StreamSink* m_sink;

    // a size can change mid-stream; all callbacks and WaitForFormat hold
    // the loop's lock
    int m_width, m_height;
    StreamPixels m_pixels;
    bool m_formatKnown;
    int m_maxFrameRate;             // asked of the producer; 0: no limit
    uint32_t* m_cursorImage;        // the cursor converted to premultiplied ARGB
    int m_cursorCapacity;           // pixels m_cursorImage holds
    std::atomic<bool> m_ended;
};
