#include "platform/testcam/TestCameraDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "os/OS_Log.h"
#include "platform/CameraFormat.h"
#include "platform/testcam/TestCameraPattern.h"

const char* const TestCameraDevice::PATH = "vidloom:test-camera";
const char* const TestCameraDevice::NAME = "vidloom test camera";

namespace {

struct Mode {
    uint32_t fourcc;
    int width, height;
};
const Mode MODES[] = {
    {CAMERA_FOURCC_YUYV, 640, 480},
    {CAMERA_FOURCC_BGR24, 640, 480},
    {CAMERA_FOURCC_BGR24, 320, 240},
    {CAMERA_FOURCC_MJPEG, 1280, 720},
};
constexpr int MODE_COUNT = int(sizeof(MODES) / sizeof(MODES[0]));

struct ControlRange {
    int minimum, maximum, initial;
};
// Indexed by CameraControl; contrast sits at 1, saturation at 3.
const ControlRange CONTROLS[4] = {{-64, 64, 0}, {0, 255, 128}, {0, 0, 0}, {0, 100, 50}};

// The "driver" state, shared by every open of the camera in this process.
std::atomic<int> s_mode{0};
std::atomic<int> s_controls[4] = {{0}, {128}, {0}, {50}};
std::atomic<bool> s_unplugged{false};
std::atomic<int64_t> s_generatorNs{0};

// Longest sleep of the streaming thread, so a stop request is seen promptly.
constexpr int64_t MAX_SLEEP_NS = 5000000;
constexpr int64_t NS_PER_UNIT = 100;

int64_t NowNs(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool KnownControl(CameraControl control) {
    return control == CAMERA_BRIGHTNESS || control == CAMERA_CONTRAST || control == CAMERA_SATURATION;
}

}  // namespace

bool TestCameraDevice::Enabled() {
    const char* value = getenv("VIDLOOM_TEST_CAMERA");
    return value != nullptr && strcmp(value, "1") == 0;
}

void TestCameraDevice::SetUnplugged(bool unplugged) {
    s_unplugged = unplugged;
}

bool TestCameraDevice::Unplugged() {
    return s_unplugged;
}

void TestCameraDevice::Reset() {
    s_unplugged = false;
    s_mode = 0;
    for (int i = 0; i < 4; ++i)
        s_controls[i] = CONTROLS[i].initial;
}

double TestCameraDevice::GeneratorCpuSeconds() {
    return s_generatorNs / 1e9;
}

TestCameraDevice::TestCameraDevice()
    : m_open(false), m_streaming(false), m_quit(false), m_sink(nullptr), m_format(), m_vanishAfter(-1) {}

TestCameraDevice::~TestCameraDevice() {
    Close();
}

bool TestCameraDevice::Present(const char* operation) const {
    if (!s_unplugged)
        return true;
    OS_Log::Error("Camera: %s %s failed: %s\n", PATH, operation, strerror(ENODEV));
    return false;
}

int TestCameraDevice::Open(const std::string& path) {
    if (m_open || path != PATH || !Present("open"))
        return -1;
    m_open = true;
    return 0;
}

void TestCameraDevice::Close() {
    StopStreaming();
    m_open = false;
}

int TestCameraDevice::EnumerateModes(std::vector<CameraMode>& modes) {
    if (!m_open || !Present("listing formats"))
        return -1;
    for (const Mode& m : MODES) {
        CameraMode mode;
        mode.fourcc = m.fourcc;
        mode.width = m.width;
        mode.height = m.height;
        modes.push_back(mode);
    }
    return 0;
}

int TestCameraDevice::GetFormat(CameraFormatInfo& format) {
    if (!m_open || !Present("reading the format"))
        return -1;
    const Mode& m = MODES[s_mode];
    format.fourcc = m.fourcc;
    format.width = m.width;
    format.height = m.height;
    // compressed frames have no rows; give them the YUY2 size as a bound
    int bits = CameraFormatBitCount(m.fourcc);
    format.bytesPerLine = m.width * (bits != 0 ? bits : 16) / 8;
    format.imageSize = format.bytesPerLine * m.height;
    format.timePerFrame = TIME_PER_FRAME;
    return 0;
}

int TestCameraDevice::SetFormat(uint32_t fourcc, int width, int height) {
    if (!m_open || m_streaming || !Present("setting the format"))
        return -1;
    for (int i = 0; i < MODE_COUNT; ++i) {
        if (MODES[i].fourcc == fourcc && MODES[i].width == width && MODES[i].height == height) {
            s_mode = i;
            return 0;
        }
    }
    OS_Log::Error("Camera: %s has no format %dx%d\n", PATH, width, height);
    return -1;
}

int TestCameraDevice::StartStreaming(CameraFrameSink* sink) {
    if (!m_open || m_streaming || GetFormat(m_format) != 0)
        return -1;
    if (CameraFormatBitCount(m_format.fourcc) == 0) {
        OS_Log::Error("Camera: %s cannot stream compressed frames\n", PATH);
        return -1;
    }
    const char* vanish = getenv("VIDLOOM_TEST_CAMERA_VANISH_AFTER");
    m_vanishAfter = vanish != nullptr ? atoll(vanish) : -1;
    m_buffer.assign(size_t(m_format.imageSize), 0);
    m_sink = sink;
    m_quit = false;
    if (Start() != 0) {
        OS_Log::Error("Camera: %s cannot start its thread\n", PATH);
        m_buffer = std::vector<unsigned char>();
        return -1;
    }
    m_streaming = true;
    return 0;
}

void TestCameraDevice::StopStreaming() {
    if (!m_streaming)
        return;
    m_quit = true;
    Join();
    m_streaming = false;
    m_sink = nullptr;
    m_buffer = std::vector<unsigned char>();
}

int TestCameraDevice::Run() {
    const int64_t period = TIME_PER_FRAME * NS_PER_UNIT;
    const int64_t start = NowNs(CLOCK_MONOTONIC);
    int64_t due = start;
    uint32_t frame = 0;
    while (!m_quit) {
        // wait for the frame's time, in short sleeps
        int64_t now = NowNs(CLOCK_MONOTONIC);
        if (now < due) {
            int64_t ns = std::min(due - now, MAX_SLEEP_NS);
            timespec ts = {time_t(ns / 1000000000), long(ns % 1000000000)};
            nanosleep(&ts, nullptr);
            continue;
        }

        // an unplugged camera ends the stream, as a driver answers ENODEV
        if (m_vanishAfter >= 0 && frame >= m_vanishAfter)
            s_unplugged = true;
        if (s_unplugged) {
            OS_Log::Error("Camera: %s vanished: %s\n", PATH, strerror(ENODEV));
            break;
        }

        // draw the picture
        int64_t cpu = NowNs(CLOCK_THREAD_CPUTIME_ID);
        DrawTestCameraFrame(m_buffer.data(), m_format.fourcc, m_format.width, m_format.height,
                            m_format.bytesPerLine, frame, s_controls[CAMERA_BRIGHTNESS],
                            s_controls[CAMERA_CONTRAST], s_controls[CAMERA_SATURATION]);
        s_generatorNs += NowNs(CLOCK_THREAD_CPUTIME_ID) - cpu;

        // deliver it
        m_sink->OnFrame((now - start) / 1e9, m_buffer.data(), long(m_buffer.size()));
        ++frame;

        // a late frame does not make the next ones come in a burst
        due += period;
        if (due < now - period)
            due = now;
    }
    return 0;
}

int TestCameraDevice::QueryControl(CameraControl control, int& minimum, int& maximum) {
    if (!m_open || !KnownControl(control) || !Present("reading a control"))
        return -1;
    minimum = CONTROLS[control].minimum;
    maximum = CONTROLS[control].maximum;
    return 0;
}

int TestCameraDevice::GetControl(CameraControl control, int& value) {
    if (!m_open || !KnownControl(control) || !Present("reading a control"))
        return -1;
    value = s_controls[control];
    return 0;
}

int TestCameraDevice::SetControl(CameraControl control, int value) {
    if (!m_open || !KnownControl(control) || !Present("setting a control"))
        return -1;
    const ControlRange& range = CONTROLS[control];
    if (value < range.minimum || value > range.maximum) {
        OS_Log::Error("Camera: %s control %d out of range: %d\n", PATH, int(control), value);
        return -1;
    }
    s_controls[control] = value;
    return 0;
}
