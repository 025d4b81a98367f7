#include "platform/v4l2/V4l2Device.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "os/OS_Log.h"
#include "platform/CameraFormat.h"
#include "platform/v4l2/V4l2FrameSizes.h"

// The layer's FOURCC codes are the kernel's.
static_assert(CAMERA_FOURCC_YUYV == V4L2_PIX_FMT_YUYV, "YUYV");
static_assert(CAMERA_FOURCC_BGR24 == V4L2_PIX_FMT_BGR24, "BGR24");
static_assert(CAMERA_FOURCC_BGR32 == V4L2_PIX_FMT_BGR32, "BGR32");
static_assert(CAMERA_FOURCC_XBGR32 == V4L2_PIX_FMT_XBGR32, "XBGR32");
static_assert(CAMERA_FOURCC_MJPEG == V4L2_PIX_FMT_MJPEG, "MJPEG");

namespace {

// How long the streaming thread waits for a frame before it looks at its
// quit flag again: short enough for a prompt stop, long enough to idle.
constexpr int POLL_TIMEOUT_MS = 50;
constexpr int64_t UNITS_PER_SECOND = 10000000;  // time per frame in 100 ns units

int Xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
}

int64_t MonotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The capabilities of this node (not of the whole device).
uint32_t NodeCaps(const v4l2_capability& cap) {
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

bool IsCaptureNode(const v4l2_capability& cap) {
    uint32_t caps = NodeCaps(cap);
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

uint32_t ControlId(CameraControl control) {
    switch (control) {
    case CAMERA_BRIGHTNESS: return V4L2_CID_BRIGHTNESS;
    case CAMERA_CONTRAST: return V4L2_CID_CONTRAST;
    case CAMERA_SATURATION: return V4L2_CID_SATURATION;
    }
    return 0;
}

// The /dev/v4l/by-id link to node, which stays the same across plugging and
// reboots; node itself when there is none.
std::string StablePath(const std::string& node) {
    const char* folder = "/dev/v4l/by-id/";
    char nodeReal[PATH_MAX];
    if (realpath(node.c_str(), nodeReal) == nullptr)
        return node;
    std::vector<std::string> links;
    if (DIR* dir = opendir(folder)) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                links.push_back(std::string(folder) + entry->d_name);
        }
        closedir(dir);
    }
    std::sort(links.begin(), links.end());
    for (const std::string& link : links) {
        char linkReal[PATH_MAX];
        if (realpath(link.c_str(), linkReal) != nullptr && strcmp(linkReal, nodeReal) == 0)
            return link;
    }
    return node;
}

}  // namespace

int V4l2Device::Enumerate(std::vector<CameraDeviceInfo>& cameras) {
    DIR* dir = opendir("/dev");
    if (dir == nullptr)
        return -1;
    std::vector<int> numbers;
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        if (strncmp(entry->d_name, "video", 5) == 0 && entry->d_name[5] != '\0') {
            long n = strtol(entry->d_name + 5, &end, 10);
            if (*end == '\0')
                numbers.push_back(int(n));
        }
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());

    for (int n : numbers) {
        std::string node = "/dev/video" + std::to_string(n);
        int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        v4l2_capability cap = {};
        bool capture = Xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && IsCaptureNode(cap);
        close(fd);
        if (!capture)
            continue;
        CameraDeviceInfo info;
        info.path = StablePath(node);
        info.card = reinterpret_cast<const char*>(cap.card);
        info.busInfo = reinterpret_cast<const char*>(cap.bus_info);
        cameras.push_back(info);
    }
    return 0;
}

V4l2Device::V4l2Device() : m_fd(-1), m_streaming(false), m_quit(false), m_sink(nullptr), m_startNs(0) {}

V4l2Device::~V4l2Device() {
    Close();
}

int V4l2Device::Fail(const char* operation) const {
    OS_Log::Error("Camera: %s %s failed: %s\n", m_path.c_str(), operation, strerror(errno));
    return -1;
}

int V4l2Device::Open(const std::string& path) {
    if (m_fd >= 0)
        return -1;
    m_path = path;
    m_fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return Fail("open");
    v4l2_capability cap = {};
    if (Xioctl(m_fd, VIDIOC_QUERYCAP, &cap) != 0) {
        Fail("VIDIOC_QUERYCAP");
        Close();
        return -1;
    }
    if (!IsCaptureNode(cap)) {
        OS_Log::Error("Camera: %s cannot capture video by streaming\n", path.c_str());
        Close();
        return -1;
    }
    return 0;
}

void V4l2Device::Close() {
    StopStreaming();
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

int V4l2Device::EnumerateModes(std::vector<CameraMode>& modes) {
    if (m_fd < 0)
        return -1;
    for (uint32_t f = 0;; ++f) {
        v4l2_fmtdesc desc = {};
        desc.index = f;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Xioctl(m_fd, VIDIOC_ENUM_FMT, &desc) != 0)
            break;
        for (uint32_t s = 0;; ++s) {
            v4l2_frmsizeenum size = {};
            size.index = s;
            size.pixel_format = desc.pixelformat;
            if (Xioctl(m_fd, VIDIOC_ENUM_FRAMESIZES, &size) != 0)
                break;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                modes.push_back({desc.pixelformat, int(size.discrete.width), int(size.discrete.height)});
                continue;
            }
            // a range: offer the common sizes inside it
            const v4l2_frmsize_stepwise& r = size.stepwise;
            std::vector<std::pair<int, int>> sizes;
            ListSteppedSizes(int(r.min_width), int(r.max_width), int(r.step_width), int(r.min_height),
                             int(r.max_height), int(r.step_height), sizes);
            for (const auto& wh : sizes)
                modes.push_back({desc.pixelformat, wh.first, wh.second});
            break;
        }
    }
    if (errno == ENODEV || errno == EIO)
        return Fail("VIDIOC_ENUM_FMT");
    return 0;
}

int V4l2Device::GetFormat(CameraFormatInfo& format) {
    if (m_fd < 0)
        return -1;
    v4l2_format fmt = {};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(m_fd, VIDIOC_G_FMT, &fmt) != 0)
        return Fail("VIDIOC_G_FMT");
    format.fourcc = fmt.fmt.pix.pixelformat;
    format.width = int(fmt.fmt.pix.width);
    format.height = int(fmt.fmt.pix.height);
    format.bytesPerLine = int(fmt.fmt.pix.bytesperline);
    format.imageSize = int(fmt.fmt.pix.sizeimage);

    // not every driver knows its frame time: 0 then
    format.timePerFrame = 0;
    v4l2_streamparm parm = {};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(m_fd, VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.denominator != 0) {
        const v4l2_fract& t = parm.parm.capture.timeperframe;
        format.timePerFrame = int64_t(t.numerator) * UNITS_PER_SECOND / t.denominator;
    }
    return 0;
}

int V4l2Device::SetFormat(uint32_t fourcc, int width, int height) {
    if (m_fd < 0 || m_streaming)
        return -1;
    v4l2_format fmt = {};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(m_fd, VIDIOC_G_FMT, &fmt) != 0)
        return Fail("VIDIOC_G_FMT");
    fmt.fmt.pix.pixelformat = fourcc;
    fmt.fmt.pix.width = uint32_t(width);
    fmt.fmt.pix.height = uint32_t(height);
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    fmt.fmt.pix.bytesperline = 0;
    fmt.fmt.pix.sizeimage = 0;
    if (Xioctl(m_fd, VIDIOC_S_FMT, &fmt) != 0)
        return Fail("VIDIOC_S_FMT");
    OS_Log::Info("Camera: %s set to %.4s %ux%u\n", m_path.c_str(),
                 reinterpret_cast<const char*>(&fmt.fmt.pix.pixelformat), fmt.fmt.pix.width,
                 fmt.fmt.pix.height);
    return 0;
}

int V4l2Device::StartStreaming(CameraFrameSink* sink) {
    // Steps: ask for buffers, map and queue each, switch streaming on, start
    // the thread. Any failure gives everything back.
    if (m_fd < 0 || m_streaming)
        return -1;

    v4l2_requestbuffers req = {};
    req.count = BUFFER_COUNT;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (Xioctl(m_fd, VIDIOC_REQBUFS, &req) != 0)
        return Fail("VIDIOC_REQBUFS");
    if (req.count == 0) {
        OS_Log::Error("Camera: %s gives no buffers\n", m_path.c_str());
        return -1;
    }

    m_buffers.resize(req.count);
    for (uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer buf = {};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        if (Xioctl(m_fd, VIDIOC_QUERYBUF, &buf) != 0) {
            Fail("VIDIOC_QUERYBUF");
            FreeBuffers();
            return -1;
        }
        void* start = mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, buf.m.offset);
        if (start == MAP_FAILED) {
            Fail("mmap");
            FreeBuffers();
            return -1;
        }
        m_buffers[i].start = start;
        m_buffers[i].length = buf.length;
        if (Xioctl(m_fd, VIDIOC_QBUF, &buf) != 0) {
            Fail("VIDIOC_QBUF");
            FreeBuffers();
            return -1;
        }
    }

    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(m_fd, VIDIOC_STREAMON, &type) != 0) {
        Fail("VIDIOC_STREAMON");
        FreeBuffers();
        return -1;
    }
    m_startNs = MonotonicNs();
    m_sink = sink;
    m_quit = false;
    if (Start() != 0) {
        OS_Log::Error("Camera: %s cannot start its thread\n", m_path.c_str());
        FreeBuffers();
        return -1;
    }
    m_streaming = true;
    return 0;
}

void V4l2Device::StopStreaming() {
    if (!m_streaming)
        return;
    m_quit = true;
    Join();
    m_streaming = false;
    m_sink = nullptr;
    FreeBuffers();
}

void V4l2Device::FreeBuffers() {
    // STREAMOFF takes every buffer back from the driver; on a vanished
    // camera it fails, and the mappings still have to go.
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    Xioctl(m_fd, VIDIOC_STREAMOFF, &type);
    for (Buffer& b : m_buffers) {
        if (b.start != nullptr)
            munmap(b.start, b.length);
    }
    m_buffers.clear();
    v4l2_requestbuffers req = {};
    req.count = 0;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    Xioctl(m_fd, VIDIOC_REQBUFS, &req);
}

int V4l2Device::Run() {
    while (!m_quit) {
        // wait for a filled buffer, looking at the quit flag now and then
        pollfd p = {m_fd, POLLIN, 0};
        int r = poll(&p, 1, POLL_TIMEOUT_MS);
        if (r < 0 && errno != EINTR) {
            Fail("poll");
            break;
        }
        if (r <= 0)
            continue;

        // take it from the driver
        v4l2_buffer buf = {};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        if (Xioctl(m_fd, VIDIOC_DQBUF, &buf) != 0) {
            if (errno == EAGAIN)
                continue;
            if (errno == ENODEV || errno == EIO)
                OS_Log::Error("Camera: %s vanished: %s\n", m_path.c_str(), strerror(errno));
            else
                Fail("VIDIOC_DQBUF");
            break;
        }

        // hand it over in place; frames the driver marked as broken are skipped
        double sampleTime;
        if ((buf.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
            sampleTime = (int64_t(buf.timestamp.tv_sec) * 1000000000 + buf.timestamp.tv_usec * 1000 - m_startNs) / 1e9;
        else
            sampleTime = (MonotonicNs() - m_startNs) / 1e9;
        if (!(buf.flags & V4L2_BUF_FLAG_ERROR) && buf.index < m_buffers.size())
            m_sink->OnFrame(sampleTime, static_cast<unsigned char*>(m_buffers[buf.index].start), long(buf.bytesused));

        // give it back on every path, or the driver runs out of buffers
        if (Xioctl(m_fd, VIDIOC_QBUF, &buf) != 0) {
            if (errno == ENODEV || errno == EIO)
                OS_Log::Error("Camera: %s vanished: %s\n", m_path.c_str(), strerror(errno));
            else
                Fail("VIDIOC_QBUF");
            break;
        }
    }
    return 0;
}

int V4l2Device::QueryControl(CameraControl control, int& minimum, int& maximum) {
    if (m_fd < 0)
        return -1;
    v4l2_queryctrl query = {};
    query.id = ControlId(control);
    // a camera without the control is not an error: the caller skips it
    if (Xioctl(m_fd, VIDIOC_QUERYCTRL, &query) != 0 || (query.flags & V4L2_CTRL_FLAG_DISABLED))
        return -1;
    minimum = query.minimum;
    maximum = query.maximum;
    return 0;
}

int V4l2Device::GetControl(CameraControl control, int& value) {
    if (m_fd < 0)
        return -1;
    v4l2_control ctrl = {};
    ctrl.id = ControlId(control);
    if (Xioctl(m_fd, VIDIOC_G_CTRL, &ctrl) != 0)
        return Fail("VIDIOC_G_CTRL");
    value = ctrl.value;
    return 0;
}

int V4l2Device::SetControl(CameraControl control, int value) {
    if (m_fd < 0)
        return -1;
    v4l2_control ctrl = {};
    ctrl.id = ControlId(control);
    ctrl.value = value;
    if (Xioctl(m_fd, VIDIOC_S_CTRL, &ctrl) != 0)
        return Fail("VIDIOC_S_CTRL");
    return 0;
}
