#include "platform/pipewire/PipeWireStream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/debug/types.h>
#include <spa/param/video/type-info.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include "os/OS_Log.h"

// PipeWire's order: a thread loop runs the context; the core (our
// connection) and the stream are made and connected with the loop locked.
// The stream's callbacks run on the loop's thread with it locked. A buffer
// taken with pw_stream_dequeue_buffer belongs to us until
// pw_stream_queue_buffer: the producer cannot reuse it, so every buffer goes
// back before the callback returns. The process callback stays on the
// loop's thread too: on PipeWire's data thread it raced a renegotiation,
// which unmaps the old buffers on the loop's thread while a picture is read.

namespace {

// The cursor sizes the metadata is asked for: a bitmap of up to this many
// pixels a side. Producers fix their own size (GNOME: 384 pixels a side);
// a range that does not reach it gets no cursor at all.
const int CURSOR_MAX_SIDE = 1024;
const int CURSOR_PREFERRED_SIDE = 64;
// Buffers one process callback may find waiting (they are all handed back).
const int MAX_WAITING_BUFFERS = 16;

constexpr int CursorMetaSize(int side) {
    return (int)(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + side * side * 4;
}

bool PixelsOf(uint32_t format, StreamPixels* pixels) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx: *pixels = StreamPixels::BGRX; return true;
    case SPA_VIDEO_FORMAT_BGRA: *pixels = StreamPixels::BGRA; return true;
    case SPA_VIDEO_FORMAT_RGBx: *pixels = StreamPixels::RGBX; return true;
    case SPA_VIDEO_FORMAT_RGBA: *pixels = StreamPixels::RGBA; return true;
    case SPA_VIDEO_FORMAT_BGR: *pixels = StreamPixels::BGR; return true;
    case SPA_VIDEO_FORMAT_RGB: *pixels = StreamPixels::RGB; return true;
    default: return false;
    }
}

// One cursor pixel (4 bytes in the bitmap's order) as premultiplied
// 0xAARRGGBB; false for an order we do not read.
bool CursorPixel(uint32_t format, const uint8_t* p, uint32_t* argb) {
    uint32_t r, g, b, a;
    switch (format) {
    case SPA_VIDEO_FORMAT_RGBA: r = p[0]; g = p[1]; b = p[2]; a = p[3]; break;
    case SPA_VIDEO_FORMAT_BGRA: b = p[0]; g = p[1]; r = p[2]; a = p[3]; break;
    case SPA_VIDEO_FORMAT_ARGB: a = p[0]; r = p[1]; g = p[2]; b = p[3]; break;
    case SPA_VIDEO_FORMAT_ABGR: a = p[0]; b = p[1]; g = p[2]; r = p[3]; break;
    default: return false;
    }
    // the bitmap's alpha is straight; the blending takes premultiplied
    *argb = a << 24 | (r * a / 255) << 16 | (g * a / 255) << 8 | (b * a / 255);
    return true;
}

// Stops a listener and frees its record.
void RemoveHook(spa_hook*& hook) {
    if (!hook)
        return;
    spa_hook_remove(hook);
    delete hook;
    hook = nullptr;
}

}  // namespace

PipeWireStream::PipeWireStream()
    : m_loop(nullptr), m_context(nullptr), m_core(nullptr), m_stream(nullptr), m_registry(nullptr),
      m_streamHook(nullptr), m_coreHook(nullptr), m_registryHook(nullptr), m_node(0), m_sink(nullptr), m_width(0), m_height(0), m_pixels(StreamPixels::BGRX),
      m_formatKnown(false), m_maxFrameRate(0), m_cursorImage(nullptr), m_cursorCapacity(0), m_ended(false) {}

PipeWireStream::~PipeWireStream() { Close(); }

int PipeWireStream::Open(int fd, uint32_t node, StreamSink* sink) {
    static const pw_stream_events streamEvents = [] {
        pw_stream_events e = {};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = [](void* d, pw_stream_state o, pw_stream_state s, const char* err) {
            OnStateChanged(d, o, s, err);
        };
        e.param_changed = OnParamChanged;
        e.process = OnProcess;
        return e;
    }();
    static const pw_registry_events registryEvents = [] {
        pw_registry_events e = {};
        e.version = PW_VERSION_REGISTRY_EVENTS;
        e.global_remove = OnGlobalRemoved;
        return e;
    }();
    static const pw_core_events coreEvents = [] {
        pw_core_events e = {};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = OnCoreError;
        return e;
    }();

    Close();
    m_sink = sink;
    m_ended = false;
    m_formatKnown = false;
    pw_init(nullptr, nullptr);

    // the loop, its context and thread
    m_loop = pw_thread_loop_new("vidloom-pipewire", nullptr);
    m_context = m_loop ? pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0) : nullptr;
    if (!m_context || pw_thread_loop_start(m_loop) != 0) {
        OS_Log::Error("[PipeWireStream::Open] Error: cannot start a PipeWire loop.\n");
        Close();
        return -1;
    }
    pw_thread_loop_lock(m_loop);

    // the connection, on our own copy of the portal's descriptor
    int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    m_core = own >= 0 ? pw_context_connect_fd(m_context, own, nullptr, 0) : nullptr;
    if (!m_core) {
        OS_Log::Error("[PipeWireStream::Open] Error: cannot connect to PipeWire: %s\n", strerror(errno));
        pw_thread_loop_unlock(m_loop);
        Close();
        return -1;
    }
    m_coreHook = new spa_hook();
    pw_core_add_listener(m_core, m_coreHook, &coreEvents, this);
    // the registry tells when the producer's node goes
    m_node = node;
    m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    if (m_registry) {
        m_registryHook = new spa_hook();
        pw_registry_add_listener(m_registry, m_registryHook, &registryEvents, this);
    }

    // the stream and the formats we take
    m_stream = pw_stream_new(m_core, "vidloom",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                               PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!m_stream) {
        OS_Log::Error("[PipeWireStream::Open] Error: cannot make a PipeWire stream: %s\n", strerror(errno));
        pw_thread_loop_unlock(m_loop);
        Close();
        return -1;
    }
    m_streamHook = new spa_hook();
    pw_stream_add_listener(m_stream, m_streamHook, &streamEvents, this);

    uint8_t podBuffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(podBuffer, sizeof(podBuffer));
    const spa_pod* params[1] = {EnumFormat(&b)};
    int res = pw_stream_connect(m_stream, PW_DIRECTION_INPUT, node,
                                (pw_stream_flags)(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    pw_thread_loop_unlock(m_loop);
    if (res < 0) {
        OS_Log::Error("[PipeWireStream::Open] Error: cannot connect to node %u: %s\n", node, strerror(-res));
        Close();
        return -1;
    }
    return 0;
}

const spa_pod* PipeWireStream::EnumFormat(spa_pod_builder* b) const {
    spa_rectangle size = {1280, 720}, minSize = {1, 1}, maxSize = {16384, 16384};
    spa_fraction rate = {0, 1}, minRate = {0, 1}, maxRate = {1000, 1};
    spa_fraction most = {m_maxFrameRate > 0 ? (uint32_t)m_maxFrameRate : 1000, 1};
    return (const spa_pod*)spa_pod_builder_add_object(
        b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(7, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_BGR,
                               SPA_VIDEO_FORMAT_RGB),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&most, &minRate, &most));
}

void PipeWireStream::SetMaxFrameRate(int perSecond) {
    if (perSecond == m_maxFrameRate)
        return;
    m_maxFrameRate = perSecond;
    if (!m_loop || !m_stream)
        return;
    // connected: the producer negotiates the format again
    pw_thread_loop_lock(m_loop);
    uint8_t podBuffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(podBuffer, sizeof(podBuffer));
    const spa_pod* params[1] = {EnumFormat(&b)};
    pw_stream_update_params(m_stream, params, 1);
    pw_thread_loop_unlock(m_loop);
}

int PipeWireStream::WaitForFormat(int timeoutMs, int* width, int* height) {
    if (!m_loop)
        return -1;
    pw_thread_loop_lock(m_loop);
    timespec deadline;
    pw_thread_loop_get_time(m_loop, &deadline, (int64_t)timeoutMs * SPA_NSEC_PER_MSEC);
    while (!m_formatKnown && !m_ended) {
        if (pw_thread_loop_timed_wait_full(m_loop, &deadline) != 0)
            break;
    }
    int result = m_formatKnown && !m_ended ? 0 : -1;
    *width = m_width;
    *height = m_height;
    pw_thread_loop_unlock(m_loop);
    if (result != 0)
        OS_Log::Error("[PipeWireStream::WaitForFormat] Error: the stream gave no picture format.\n");
    return result;
}

void PipeWireStream::Close() {
    if (m_loop)
        pw_thread_loop_lock(m_loop);
    // the ended flag, set first, keeps the disconnect's own state change
    // from the sink; the listener goes after the disconnect
    bool ended = m_ended.exchange(true);
    if (m_stream)
        pw_stream_disconnect(m_stream);
    m_ended = ended;
    RemoveHook(m_streamHook);
    if (m_stream) {
        pw_stream_destroy(m_stream);
        m_stream = nullptr;
    }
    RemoveHook(m_registryHook);
    if (m_registry) {
        pw_proxy_destroy((pw_proxy*)m_registry);
        m_registry = nullptr;
    }
    RemoveHook(m_coreHook);
    if (m_core) {
        pw_core_disconnect(m_core);
        m_core = nullptr;
    }
    if (m_loop) {
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
    }
    if (m_context) {
        pw_context_destroy(m_context);
        m_context = nullptr;
    }
    if (m_loop) {
        pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
    }
    delete[] m_cursorImage;
    m_cursorImage = nullptr;
    m_cursorCapacity = 0;
    m_sink = nullptr;
}

void PipeWireStream::OnStateChanged(void* data, int, int state, const char* error) {
    auto* self = (PipeWireStream*)data;
    OS_Log::Debug("PipeWire stream: %s\n", pw_stream_state_as_string((pw_stream_state)state));
    if (state == PW_STREAM_STATE_ERROR) {
        self->End(error ? error : "stream error");
    } else if (state == PW_STREAM_STATE_UNCONNECTED) {
        self->End("stream unconnected");
    }
}

void PipeWireStream::OnGlobalRemoved(void* data, uint32_t id) {
    // The producer's node went away (the desktop stopped sharing, the
    // compositor ended): our stream only pauses, waiting for another.
    auto* self = (PipeWireStream*)data;
    if (id == self->m_node)
        self->End("the producer's node is gone");
}

void PipeWireStream::OnCoreError(void* data, uint32_t id, int, int res, const char* message) {
    auto* self = (PipeWireStream*)data;
    OS_Log::Error("[PipeWireStream] Error: PipeWire object %u: %s (%s)\n", id, message, strerror(-res));
    if (id == PW_ID_CORE && res == -EPIPE)
        self->End("connection to PipeWire lost");
}

void PipeWireStream::End(const char* why) {
    if (m_ended.exchange(true))
        return;
    OS_Log::Info("screen stream ended: %s\n", why);
    if (m_sink)
        m_sink->OnStreamEnded();
    pw_thread_loop_signal(m_loop, false);
}

void PipeWireStream::OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* self = (PipeWireStream*)data;
    if (id != SPA_PARAM_Format || !param)
        return;
    spa_video_info_raw info = {};
    uint32_t mediaType = 0, mediaSubtype = 0;
    StreamPixels pixels;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0 ||
        !PixelsOf(info.format, &pixels)) {
        self->End("unusable picture format");
        return;
    }
    self->m_pixels = pixels;
    self->m_width = (int)info.size.width;
    self->m_height = (int)info.size.height;
    self->m_formatKnown = true;
    OS_Log::Info("screen stream: %s %dx%d, %u/%u frames per second at most %u/%u\n",
                 spa_debug_type_find_short_name(spa_type_video_format, info.format), self->m_width,
                 self->m_height, info.framerate.num, info.framerate.denom, info.max_framerate.num,
                 info.max_framerate.denom);

    // shared memory only; the header, the producer's crop and the cursor
    uint8_t podBuffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(podBuffer, sizeof(podBuffer));
    const spa_pod* params[4];
    params[0] = (const spa_pod*)spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd)));
    params[1] = (const spa_pod*)spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header)));
    params[2] = (const spa_pod*)spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoCrop),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region)));
    params[3] = (const spa_pod*)spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(CURSOR_PREFERRED_SIDE), CursorMetaSize(1),
                                 CursorMetaSize(CURSOR_MAX_SIDE)));
    pw_stream_update_params(self->m_stream, params, 4);
    pw_thread_loop_signal(self->m_loop, false);
}

void PipeWireStream::OnProcess(void* data) { ((PipeWireStream*)data)->Process(); }

void PipeWireStream::Process() {
    // take every waiting buffer: the cursor of each, the newest picture
    pw_buffer* waiting[MAX_WAITING_BUFFERS];
    int count = 0;
    while (count < MAX_WAITING_BUFFERS) {
        pw_buffer* b = pw_stream_dequeue_buffer(m_stream);
        if (!b)
            break;
        waiting[count++] = b;
    }
    for (int i = 0; i < count; ++i)
        ReadCursor(waiting[i]->buffer);
    for (int i = count - 1; i >= 0; --i) {
        spa_meta_header* h = (spa_meta_header*)spa_buffer_find_meta_data(waiting[i]->buffer, SPA_META_Header,
                                                                          sizeof(*h));
        spa_data* d = &waiting[i]->buffer->datas[0];
        bool corrupted = (h && (h->flags & SPA_META_HEADER_FLAG_CORRUPTED)) ||
                         (d->chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) || d->chunk->size == 0 || !d->data;
        if (!corrupted) {
            ReadPicture(waiting[i]->buffer);
            break;
        }
    }
    // every buffer goes back now
    for (int i = 0; i < count; ++i)
        pw_stream_queue_buffer(m_stream, waiting[i]);
}

void PipeWireStream::ReadPicture(spa_buffer* buffer) {
    int width = m_width, height = m_height;
    StreamPixels pixels = m_pixels;
    // where the picture is, clamped to the buffer
    spa_data* d = &buffer->datas[0];
    int bpp = BytesPerPixel(pixels);
    uint32_t offset = d->chunk->offset;
    if (offset >= d->maxsize || width <= 0 || height <= 0)
        return;
    int64_t available = (int64_t)d->maxsize - offset;
    // no stride given (GStreamer's producers): rows padded to 4 bytes
    int stride = d->chunk->stride > 0 ? d->chunk->stride : SPA_ROUND_UP_N(width * bpp, 4);

    // the producer's crop, inside the picture
    int x = 0, y = 0, w = width, h = height;
    spa_meta_region* crop = (spa_meta_region*)spa_buffer_find_meta_data(buffer, SPA_META_VideoCrop, sizeof(*crop));
    if (crop && spa_meta_region_is_valid(crop)) {
        x = SPA_CLAMP(crop->region.position.x, 0, width - 1);
        y = SPA_CLAMP(crop->region.position.y, 0, height - 1);
        w = SPA_MIN((int)crop->region.size.width, width - x);
        h = SPA_MIN((int)crop->region.size.height, height - y);
    }
    // a row must fit its stride, and the last row the buffer
    if ((int64_t)(x + w) * bpp > stride)
        w = stride / bpp - x;
    int64_t rowEnd = (int64_t)(x + w) * bpp;
    if (w <= 0 || available < rowEnd)
        return;
    int64_t rows = (available - rowEnd) / stride + 1 - y;
    h = (int)SPA_MIN((int64_t)h, rows);
    if (h <= 0)
        return;

    StreamPicture picture;
    picture.data = (const uint8_t*)d->data + offset + (size_t)y * stride + (size_t)x * bpp;
    picture.width = w;
    picture.height = h;
    picture.stride = stride;
    picture.pixels = pixels;
    m_sink->OnStreamPicture(picture);
}

void PipeWireStream::ReadCursor(spa_buffer* buffer) {
    spa_meta* meta = spa_buffer_find_meta(buffer, SPA_META_Cursor);
    if (!meta || meta->size < sizeof(spa_meta_cursor))
        return;
    spa_meta_cursor* c = (spa_meta_cursor*)meta->data;
    StreamCursor cursor = {};
    cursor.visible = spa_meta_cursor_is_valid(c);
    if (cursor.visible) {
        cursor.x = c->position.x;
        cursor.y = c->position.y;
    }

    // a new image, when the bitmap fits the metadata
    spa_meta_bitmap* bm = nullptr;
    if (cursor.visible && c->bitmap_offset >= sizeof(*c) &&
        (uint64_t)c->bitmap_offset + sizeof(spa_meta_bitmap) <= meta->size)
        bm = SPA_PTROFF(c, c->bitmap_offset, spa_meta_bitmap);
    if (bm && spa_meta_bitmap_is_valid(bm)) {
        int bw = (int)bm->size.width, bh = (int)bm->size.height;
        uint64_t end = (uint64_t)c->bitmap_offset + bm->offset + (uint64_t)bm->stride * (bh > 0 ? bh - 1 : 0) +
                       (uint64_t)bw * 4;
        cursor.hotX = c->hotspot.x;
        cursor.hotY = c->hotspot.y;
        if (bm->offset < sizeof(*bm) || bw <= 0 || bh <= 0 || bm->stride < bw * 4 || end > meta->size) {
            // no image: the cursor is invisible
            cursor.argb = m_cursorImage;
            cursor.width = cursor.height = 0;
        } else {
            if (bw * bh > m_cursorCapacity) {
                delete[] m_cursorImage;
                m_cursorImage = new uint32_t[(size_t)bw * bh];
                m_cursorCapacity = bw * bh;
            }
            const uint8_t* rows = SPA_PTROFF(bm, bm->offset, const uint8_t);
            bool readable = true;
            for (int r = 0; r < bh && readable; ++r)
                for (int i = 0; i < bw && readable; ++i)
                    readable = CursorPixel(bm->format, rows + (size_t)r * bm->stride + i * 4,
                                           &m_cursorImage[(size_t)r * bw + i]);
            if (readable) {
                cursor.argb = m_cursorImage;
                cursor.width = bw;
                cursor.height = bh;
            }
        }
    }
    m_sink->OnStreamCursor(cursor);
}
