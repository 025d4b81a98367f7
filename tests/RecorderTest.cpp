// vidloom:sanitize
// The capture thread against the test sound server: blocks, capture times, pacing, the tone whole,
// prompt Close, bad ids, no server, a source that vanishes.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/AudioInputDevice.h"
#include "capture/Recorder.h"
#include "os/OS_Clock.h"
#include "platform/pulse/PulseConnection.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/SoundCheck.h"
#include "tests/support/TestEnv.h"

namespace {

const int CHANNELS = 2;
const int RATE = 11025;
const int FRAMES = 1024;
// A block lasts 93 ms; Close may take a little longer under load, but never a second block.
const int64_t PROMPT_MS = 200;

// Keeps what a Recorder delivers; every block must carry the tag and be whole.
class Collector : public RecorderCallback {
public:
    explicit Collector(int tag) : m_tag(tag) {
        sound.sampleRate = RATE;
        sound.channels = CHANNELS;
    }

    int OnAudioData(int tag, double time, const void* data, int size) override {
        EXPECT_EQ(m_tag, tag);
        EXPECT_EQ(FRAMES * CHANNELS * 2, size);
        if (slowBlocks > 0) {
            --slowBlocks;
            OS_Sleep(slowMs);
        }
        std::lock_guard<std::mutex> guard(mutex);
        times.push_back(time);
        arrivalsMs.push_back(OS_NowMs());
        const int16_t* samples = static_cast<const int16_t*>(data);
        for (int i = 0; i < size / 2; ++i)
            sound.samples.push_back(samples[i] / 32768.0f);
        return 0;
    }

    int Count() {
        std::lock_guard<std::mutex> guard(mutex);
        return (int)times.size();
    }
    bool WaitFor(int count) {
        return WaitUntil([&] { return Count() >= count; });
    }

    std::atomic<int> slowBlocks{0};  // the next slowBlocks callbacks each take slowMs
    std::atomic<unsigned> slowMs{0};
    std::mutex mutex;
    std::vector<double> times;
    std::vector<int64_t> arrivalsMs;
    ProbeSound sound;  // every block in order

private:
    int m_tag;
};

// Close returns promptly, and nothing is delivered after it.
void ExpectPromptClose(Recorder& recorder, Collector& collector) {
    int64_t start = OS_NowMs();
    recorder.Close();
    EXPECT_LT(OS_NowMs() - start, PROMPT_MS);
    int delivered = collector.Count();
    OS_Sleep(300);
    EXPECT_EQ(delivered, collector.Count()) << "a block came after Close returned";
}

// Places where a 440 Hz sine breaks (x[n-1] + x[n+1] != 2 cos(w) x[n]): a lost or repeated block.
int SineBreaks(const ProbeSound& sound, int channel) {
    const double k = 2.0 * cos(2.0 * M_PI * 440.0 / RATE);
    int breaks = 0;
    for (int64_t n = 1; n + 1 < sound.Frames(); ++n) {
        const float* s = &sound.samples[n * CHANNELS + channel];
        if (fabs(s[-CHANNELS] + s[CHANNELS] - k * s[0]) > 8.0 / 32768)
            ++breaks;
    }
    return breaks;
}

// Each block's capture time (OS_NowMs clock): before its delivery, one block after the one before.
void ExpectCaptureTimes(const Collector& collector) {
    for (size_t n = 0; n < collector.times.size(); ++n) {
        EXPECT_LT(collector.times[n], collector.arrivalsMs[n] / 1000.0) << "block " << n;
        EXPECT_GT(collector.times[n], collector.arrivalsMs[n] / 1000.0 - 5.0) << "block " << n;
        if (n > 0) {
            EXPECT_NEAR(1024.0 / RATE, collector.times[n] - collector.times[n - 1], 0.015) << "block " << n;
        }
    }
}

}  // namespace

TEST(Recorder, DefaultSourceKeepsTheToneWholeBehindASlowCallback) {
    REQUIRE_PULSE();
    LogCapture log;
    Collector collector(1);
    // the first blocks take longer than a block each: most of the sound has to wait in the stream
    collector.slowMs = 150;
    collector.slowBlocks = 4;
    Recorder recorder(&collector);
    ASSERT_EQ(0, recorder.Open("", 1, CHANNELS, RATE, FRAMES)) << log.Text();
    EXPECT_TRUE(log.Contains("sound capture caps: format=00000020, channel=1 \n"))
        << "no id: the default source, the mono float sine source\n" << log.Text();
    ASSERT_EQ(0, recorder.StartCapture());
    ASSERT_TRUE(collector.WaitFor(30));
    // Close during a slow callback waits for that one callback only
    collector.slowMs = 60;
    collector.slowBlocks = 1000;
    ASSERT_TRUE(collector.WaitFor(32));
    ExpectPromptClose(recorder, collector);

    std::lock_guard<std::mutex> guard(collector.mutex);
    const ProbeSound& sound = collector.sound;
    EXPECT_EQ(0, SineBreaks(sound, 0)) << "left channel";
    EXPECT_EQ(0, SineBreaks(sound, 1)) << "right channel";
    EXPECT_NEAR(440.0, sound.Frequency(0), 2.0);
    EXPECT_GT(sound.Rms(1, 0, sound.Frames()), 0.1) << "a tone, not silence";
    ExpectCaptureTimes(collector);
}

// A device whose clock runs 0.2 % fast (a pipe source fed 11025 * 1.002 frames a second): the blocks'
// times follow its clock, not the count of samples. Also: block pace, and nothing outside Start..Close.
TEST(Recorder, TimesFollowTheDeviceClockAtBlockPaceUntilClose) {
    REQUIRE_PULSE();
    TempDir dir;
    int status = -1;
    std::string module = RunCommand("pactl load-module module-pipe-source source_name=vidloom_fast file=" +
                                        dir.File("fast") + " format=s16le rate=11025 channels=2", &status);
    ASSERT_EQ(0, status) << module;
    const double speed = 1.002;
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        // silence: only the pace matters
        FILE* pipe = fopen(dir.File("fast").c_str(), "wb");
        std::vector<char> zeros(4 * RATE);
        for (int64_t start = OS_NowMs(), written = 0; pipe && writing; OS_Sleep(5)) {
            int64_t due = (int64_t)((OS_NowMs() - start) * RATE * speed / 1000);
            written += (int64_t)fwrite(zeros.data(), 4, (size_t)std::min<int64_t>(due - written, RATE), pipe);
            fflush(pipe);
        }
        if (pipe)
            fclose(pipe);
    });
    Collector collector(3);
    Recorder recorder(&collector);
    ASSERT_EQ(0, recorder.Open(SourceGuidText("vidloom_fast").c_str(), 3, CHANNELS, RATE, FRAMES));
    OS_Sleep(200);
    EXPECT_EQ(0, collector.Count()) << "nothing comes before StartCapture";
    ASSERT_EQ(0, recorder.StartCapture());
    ASSERT_TRUE(collector.WaitFor(120));
    ExpectPromptClose(recorder, collector);
    ExpectPromptClose(recorder, collector);  // twice is harmless
    writing = false;
    writer.join();
    RunCommand("pactl unload-module " + module);
    // each block's time less its place by the device's clock: the same at the start and 10 s later
    std::lock_guard<std::mutex> guard(collector.mutex);
    ExpectCaptureTimes(collector);
    double paceMs = (collector.arrivalsMs[105] - collector.arrivalsMs[5]) / 100.0;
    EXPECT_GT(paceMs, 75.0);
    EXPECT_LT(paceMs, 110.0);
    const std::vector<double>& t = collector.times;
    double early = 0, late = 0;
    for (size_t n = 5, m = t.size() - 10; n < 15; ++n, ++m) {
        early += (t[n] - n * 1024.0 / (RATE * speed)) / 10;
        late += (t[m] - m * 1024.0 / (RATE * speed)) / 10;
    }
    EXPECT_NEAR(early, late, 0.01) << "the device's fast clock is followed";
}

TEST(Recorder, BadIdsAndNoServerFailOpen) {
    REQUIRE_PULSE();
    std::string guid = SourceGuidText(std::string(getenv("VIDLOOM_TEST_SINK")) + ".monitor"), garbled = guid;
    garbled[5] = 'Q';  // (short ids: the id parser's own test)
    for (std::string text : {guid.substr(0, 9), garbled, std::string("{00000000-0000-0000-0000-000000000001}")}) {
        std::vector<char> copy(text.c_str(), text.c_str() + text.size() + 1);  // exactly sized for ASan
        Recorder recorder(nullptr);
        EXPECT_EQ(-1, recorder.Open(copy.data(), 1, CHANNELS, RATE, FRAMES)) << text;
        EXPECT_EQ(-1, recorder.StartCapture()) << "nothing opened";
    }
    Recorder noChannels(nullptr);
    EXPECT_EQ(-1, noChannels.Open(nullptr, 1, 0, RATE, FRAMES));
    // no server: a failure at once, by id and by default
    ScopedPulseServer noServer;
    LogCapture log;
    int64_t start = OS_NowMs();
    Recorder byDefault(nullptr);
    EXPECT_EQ(-1, byDefault.Open(nullptr, 1, CHANNELS, RATE, FRAMES));
    Recorder byId(nullptr);
    EXPECT_EQ(-1, byId.Open(guid.c_str(), 1, CHANNELS, RATE, FRAMES));
    EXPECT_LT(OS_NowMs() - start, 2000);
    EXPECT_TRUE(log.Contains("Sound Capture: DirectSoundCaptureCreate failed  \n")) << log.Text();
}

namespace {

// A sound server of our own, whose sources can all go away and which can be stopped; no D-Bus: the
// shared server holds its name. Its default source is a sine source.
struct OwnServer {
    OwnServer() {
        std::string socket = dir.File("native");
        address = "unix:" + socket;
        pid = RunCommand(
            "cd " + dir.Path() + " && env -u DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent HOME=" +
            dir.Path() + " PULSE_RUNTIME_PATH=" + dir.File("run") +
            " pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-module-loading=0"
            " --log-target=stderr --log-level=error '--load=module-native-protocol-unix socket=" + socket +
            " auth-anonymous=1' '--load=module-sine-source source_name=vidloom_fallback rate=11025' >" +
            dir.File("log") + " 2>&1 & echo -n $!");
        pactl = "PULSE_SERVER=" + address + " pactl ";
        for (int i = 0; i < 100 && status != 0; ++i) {
            OS_Sleep(50);
            RunCommand(pactl + "set-default-source vidloom_fallback >/dev/null 2>&1", &status);
        }
    }
    ~OwnServer() { RunCommand("kill -CONT " + pid + "; kill " + pid + " 2>/dev/null"); }

    TempDir dir;
    std::string address;
    std::string pid;
    std::string pactl;
    int status = -1;  // 0 once it answers
};

}  // namespace

// A source that vanishes while capturing, then a server that hangs (stopped): Close still returns at
// once, the device list gives up after its time-out (Open's: the recorder window's test).
TEST(Recorder, SourceVanishingThenServerHanging) {
    REQUIRE_PULSE();
    OwnServer server;
    ASSERT_EQ(0, server.status) << ReadFileText(server.dir.File("log"));
    int status = -1;
    std::string module = RunCommand(
        server.pactl + "load-module module-sine-source source_name=vidloom_vanishing rate=11025 frequency=880",
        &status);
    ASSERT_EQ(0, status) << module;
    ScopedPulseServer own(server.address);
    LogCapture log;
    Collector collector(2);
    Recorder recorder(&collector);
    EXPECT_EQ(0, recorder.Open(SourceGuidText("vidloom_vanishing").c_str(), 2, CHANNELS, RATE, FRAMES)) << log.Text();
    EXPECT_EQ(0, recorder.StartCapture());
    EXPECT_TRUE(collector.WaitFor(3));
    // the server moves the stream to its default source: the blocks go on
    RunCommand(server.pactl + "unload-module " + module, &status);
    EXPECT_EQ(0, status);
    EXPECT_TRUE(collector.WaitFor(collector.Count() + 10)) << "blocks stopped after the move";
    // the last source goes too: the blocks end, not the thread
    RunCommand(server.pactl + "unload-module module-sine-source", &status);
    EXPECT_EQ(0, status);
    EXPECT_TRUE(WaitUntil([&] { return log.Contains("Sound: recording from vidloom_vanishing has ended"); }))
        << log.Text();
    int delivered = collector.Count();
    OS_Sleep(300);
    EXPECT_EQ(delivered, collector.Count()) << "blocks after the end";

    RunCommand("kill -STOP " + server.pid);
    ExpectPromptClose(recorder, collector);
    int64_t start = OS_NowMs();
    std::vector<AudioInputDevice> devices;
    EXPECT_EQ(-1, EnumerateSoundCaptureDevices(devices));
    EXPECT_LT(OS_NowMs() - start, PulseConnection::CONNECT_TIMEOUT_MS + 500);
    EXPECT_TRUE(log.Contains("Sound Capture: Failed to enumberate sound capture devices \n")) << log.Text();
}
