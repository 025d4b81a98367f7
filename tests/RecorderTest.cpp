// vidloom:sanitize
// The capture thread against the test sound server: opening by id and by
// default, block size and time accounting, pacing, the tone and its
// continuity, prompt Close, bad ids, no server, and a source that vanishes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "capture/Recorder.h"
#include "os/OS_Clock.h"
#include "tests/support/SoundCheck.h"
#include "tests/support/TestEnv.h"

namespace {

const int CHANNELS = 2;
const int RATE = 11025;
const int FRAMES = 1024;
const int BLOCK_BYTES = FRAMES * CHANNELS * 2;
const double BLOCK_SECONDS = (double)FRAMES / RATE;
// A block lasts 93 ms; Close may take a little longer on a loaded machine
// or under a sanitizer, but never a second block.
const int64_t PROMPT_MS = 200;

// Keeps everything a Recorder delivers.
class Collector : public RecorderCallback {
public:
    int OnAudioData(int tag, double time, const void* data, int size) override {
        if (slowBlocks > 0) {
            --slowBlocks;
            OS_Sleep(slowMs);  // longer than a block: the ring fills up meanwhile
        }
        std::lock_guard<std::mutex> guard(mutex);
        tags.push_back(tag);
        times.push_back(time);
        sizes.push_back(size);
        arrivals.push_back(OS_NowMs());
        const int16_t* samples = static_cast<const int16_t*>(data);
        pcm.insert(pcm.end(), samples, samples + size / 2);
        return 0;
    }

    int Count() {
        std::lock_guard<std::mutex> guard(mutex);
        return (int)times.size();
    }

    // Waits until count blocks have come, at most timeoutMs.
    bool WaitFor(int count, int64_t timeoutMs) {
        int64_t deadline = OS_NowMs() + timeoutMs;
        while (Count() < count) {
            if (OS_NowMs() > deadline)
                return false;
            OS_Sleep(5);
        }
        return true;
    }

    // set before StartCapture; read by the capture thread only
    int slowBlocks = 0;
    unsigned slowMs = 0;

    std::mutex mutex;
    std::vector<int> tags;
    std::vector<double> times;
    std::vector<int> sizes;
    std::vector<int64_t> arrivals;
    std::vector<int16_t> pcm;  // interleaved stereo, every block in order
};

std::string MonitorGuid() {
    return SourceGuidText(std::string(getenv("VIDLOOM_TEST_SINK")) + ".monitor");
}

// Milliseconds that Close takes.
int64_t TimedClose(Recorder& recorder) {
    int64_t start = OS_NowMs();
    recorder.Close();
    return OS_NowMs() - start;
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        const char* old = getenv(name);
        m_had = old != nullptr;
        m_old = old ? old : "";
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::string m_old;
    bool m_had;
};

}  // namespace

TEST(Recorder, MonitorByIdDeliversFullBlocksAtBlockPace) {
    REQUIRE_PULSE();
    LogCatcher log;
    Collector collector;
    Recorder* recorder = new Recorder(&collector);
    ASSERT_EQ(0, recorder->Open(MonitorGuid().c_str(), 7, CHANNELS, RATE, FRAMES)) << log.All();
    EXPECT_TRUE(log.Has("sound capture caps: format=00000008, channel=2 \n")) << log.All();
    EXPECT_TRUE(log.Has("buffer created: size 12288 \n"));
    EXPECT_TRUE(log.Has("audio format: channel=2, sample_rate=11025 \n"));
    OS_Sleep(200);
    EXPECT_EQ(0, collector.Count()) << "nothing comes before StartCapture";

    ASSERT_EQ(0, recorder->StartCapture());
    // the null sink hands its first chunk over late; the pace is steady after it
    ASSERT_TRUE(collector.WaitFor(16, 10000)) << collector.Count() << " blocks";
    EXPECT_EQ(0, recorder->StopCapture());
    int64_t closeMs = TimedClose(*recorder);
    delete recorder;
    EXPECT_LT(closeMs, PROMPT_MS);

    std::lock_guard<std::mutex> guard(collector.mutex);
    double expected = 0.0;
    for (size_t n = 0; n < collector.times.size(); ++n) {
        expected += BLOCK_SECONDS;
        EXPECT_EQ(7, collector.tags[n]);
        EXPECT_EQ(BLOCK_BYTES, collector.sizes[n]);
        EXPECT_NEAR((n + 1) * 1024.0 / 11025.0, collector.times[n], 1e-9) << "block " << n;
        EXPECT_DOUBLE_EQ(expected, collector.times[n]) << "time is the sum of block durations";
    }
    double paceMs = (collector.arrivals[15] - collector.arrivals[5]) / 10.0;
    EXPECT_GT(paceMs, 60.0);
    EXPECT_LT(paceMs, 130.0);
    EXPECT_NEAR(440.0, ToneFrequency(collector.pcm.data(), collector.pcm.size(), 2, RATE), 5.0);
}

TEST(Recorder, DefaultSourceCarriesTheToneWithoutLosingSamples) {
    REQUIRE_PULSE();
    LogCatcher log;
    Collector collector;
    // the first blocks take longer than a block each: the sine source hands
    // over two seconds at once, so most of it has to wait in the stream
    collector.slowBlocks = 4;
    collector.slowMs = 150;
    Recorder recorder(&collector);
    ASSERT_EQ(0, recorder.Open(nullptr, 1, CHANNELS, RATE, FRAMES)) << log.All();
    EXPECT_TRUE(log.Has("sound capture caps: format=00000020, channel=1 \n"))
        << "the default source is the mono float sine source\n"
        << log.All();
    ASSERT_EQ(0, recorder.StartCapture());
    ASSERT_TRUE(collector.WaitFor(30, 10000)) << collector.Count() << " blocks";
    recorder.Close();

    std::lock_guard<std::mutex> guard(collector.mutex);
    const std::vector<int16_t>& pcm = collector.pcm;
    ASSERT_GE(pcm.size(), 30u * FRAMES * 2);
    EXPECT_EQ(0, CountSineBreaks(pcm.data(), pcm.size(), 2, 440.0, RATE, 8.0)) << "left channel";
    EXPECT_EQ(0, CountSineBreaks(pcm.data() + 1, pcm.size() - 1, 2, 440.0, RATE, 8.0)) << "right";
    EXPECT_NEAR(440.0, ToneFrequency(pcm.data(), pcm.size(), 2, RATE), 2.0);
    int peak = 0;
    for (int16_t s : pcm)
        peak = std::max(peak, std::abs((int)s));
    EXPECT_GT(peak, 8000) << "a tone, not silence";
    EXPECT_NEAR(30 * BLOCK_SECONDS, collector.times[29], 1e-9)
        << "time counts blocks, however late they come";
}

TEST(Recorder, EmptyTextOpensTheServersDefaultSource) {
    REQUIRE_PULSE();
    std::string monitorName = std::string(getenv("VIDLOOM_TEST_SINK")) + ".monitor";
    std::string sineName = getenv("VIDLOOM_TEST_SINE_SOURCE");
    RunCommand("pactl set-default-source " + monitorName);
    LogCatcher log;
    Recorder recorder(nullptr);
    int result = recorder.Open("", 1, CHANNELS, RATE, FRAMES);
    RunCommand("pactl set-default-source " + sineName);
    ASSERT_EQ(0, result) << log.All();
    EXPECT_TRUE(log.Has("sound capture caps: format=00000008, channel=2 \n"))
        << "the monitor, now the default\n" << log.All();
    EXPECT_EQ(-1, recorder.Open(nullptr, 1, CHANNELS, RATE, FRAMES)) << "a Recorder opens once";
    // without a callback the blocks are taken and dropped
    ASSERT_EQ(0, recorder.StartCapture());
    OS_Sleep(300);
    recorder.Close();
    recorder.Close();
}

TEST(Recorder, CloseIsPromptAndEndsDelivery) {
    REQUIRE_PULSE();
    Collector collector;
    Recorder* recorder = new Recorder(&collector);
    ASSERT_EQ(0, recorder->Open(MonitorGuid().c_str(), 1, CHANNELS, RATE, FRAMES));
    ASSERT_EQ(0, recorder->StartCapture());
    ASSERT_TRUE(collector.WaitFor(3, 10000));
    EXPECT_LT(TimedClose(*recorder), PROMPT_MS);
    int delivered = collector.Count();
    OS_Sleep(300);
    EXPECT_EQ(delivered, collector.Count()) << "a block came after Close returned";
    EXPECT_LT(TimedClose(*recorder), 20) << "a second Close has nothing to do";
    delete recorder;

    // Close during a slow callback waits for that one callback only
    Collector slow;
    slow.slowBlocks = 1000;
    slow.slowMs = 60;
    Recorder second(&slow);
    ASSERT_EQ(0, second.Open(nullptr, 1, CHANNELS, RATE, FRAMES));
    ASSERT_EQ(0, second.StartCapture());
    ASSERT_TRUE(slow.WaitFor(2, 10000));
    EXPECT_LT(TimedClose(second), PROMPT_MS);
    delivered = slow.Count();
    OS_Sleep(200);
    EXPECT_EQ(delivered, slow.Count());
}

TEST(Recorder, BadIdsFailOpen) {
    REQUIRE_PULSE();
    LogCatcher log;
    {
        Recorder recorder(nullptr);
        EXPECT_EQ(-1, recorder.Open("{00000000-0000-0000-0000-000000000001}", 1, CHANNELS, RATE, FRAMES));
        recorder.Close();
    }
    EXPECT_TRUE(log.Has("Sound Capture: DirectSoundCaptureCreate failed  \n")) << log.All();

    // an exactly sized short id: the address sanitizer sees any read past it
    std::string guid = MonitorGuid();
    for (size_t length : {1u, 9u, 37u}) {
        char* text = static_cast<char*>(malloc(length + 1));
        memcpy(text, guid.data(), length);
        text[length] = '\0';
        Recorder recorder(nullptr);
        EXPECT_EQ(-1, recorder.Open(text, 1, CHANNELS, RATE, FRAMES)) << text;
        free(text);
    }
    std::string garbled = guid;
    garbled[5] = 'Q';
    Recorder recorder(nullptr);
    EXPECT_EQ(-1, recorder.Open(garbled.c_str(), 1, CHANNELS, RATE, FRAMES));

    // nothing opened: StartCapture fails, Close is harmless
    EXPECT_EQ(-1, recorder.StartCapture());
    EXPECT_TRUE(log.Has("sound capture: Failed to start \n"));
    Recorder nonsense(nullptr);
    EXPECT_EQ(-1, nonsense.Open(nullptr, 1, 0, RATE, FRAMES)) << "no channels";
}

TEST(Recorder, NoServerFailsOpenWithoutHanging) {
    ScopedEnv env("PULSE_SERVER", "unix:/nonexistent/vidloom-no-server");
    LogCatcher log;
    int64_t start = OS_NowMs();
    Recorder byDefault(nullptr);
    EXPECT_EQ(-1, byDefault.Open(nullptr, 1, CHANNELS, RATE, FRAMES));
    Recorder byId(nullptr);
    EXPECT_EQ(-1, byId.Open("{C529BB95-F489-51D0-B9AE-0AECADF6961C}", 1, CHANNELS, RATE, FRAMES));
    EXPECT_LT(OS_NowMs() - start, 2000);
    EXPECT_TRUE(log.Has("Sound Capture: DirectSoundCaptureCreate failed  \n")) << log.All();
    EXPECT_TRUE(log.HasPart("cannot connect to the sound server")) << log.All();
}

TEST(Recorder, SourceVanishingWhileCapturing) {
    REQUIRE_PULSE();
    int status = -1;
    std::string module = RunCommand(
        "pactl load-module module-sine-source source_name=vidloom_vanishing rate=11025 frequency=880",
        &status);
    ASSERT_EQ(0, status) << module;
    Collector collector;
    Recorder recorder(&collector);
    ASSERT_EQ(0, recorder.Open(SourceGuidText("vidloom_vanishing").c_str(), 2, CHANNELS, RATE, FRAMES));
    ASSERT_EQ(0, recorder.StartCapture());
    ASSERT_TRUE(collector.WaitFor(3, 10000));

    // the server moves the stream to its default source: the blocks go on
    RunCommand("pactl unload-module " + module, &status);
    ASSERT_EQ(0, status);
    int before = collector.Count();
    EXPECT_TRUE(collector.WaitFor(before + 25, 10000)) << "blocks stopped after the move";
    EXPECT_LT(TimedClose(recorder), PROMPT_MS);
}

TEST(Recorder, LastSourceVanishingEndsTheBlocksNotTheThread) {
    REQUIRE_PULSE();
    // a server of our own whose only source can go away for good
    TempDir dir;
    std::string socket = dir.File("native");
    std::string pid = RunCommand(
        // no X display and no D-Bus: the shared test server holds its D-Bus name
        "cd " + dir.Path() + " && env -u DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent" +
        " HOME=" + dir.Path() + " PULSE_RUNTIME_PATH=" + dir.File("run") +
        " pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no"
        " --disallow-module-loading=0 --log-target=stderr --log-level=error"
        " '--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1'"
        " '--load=module-sine-source source_name=vidloom_lonely rate=11025'"
        " >" + dir.File("log") + " 2>&1 & echo $!");
    std::string pactl = "PULSE_SERVER=unix:" + socket + " pactl ";
    int status = -1;
    for (int i = 0; i < 100 && status != 0; ++i) {
        OS_Sleep(50);
        RunCommand(pactl + "info >/dev/null 2>&1", &status);
    }
    ASSERT_EQ(0, status) << ReadFileText(dir.File("log"));

    {
        ScopedEnv env("PULSE_SERVER", ("unix:" + socket).c_str());
        LogCatcher log;
        Collector collector;
        Recorder recorder(&collector);
        EXPECT_EQ(0, recorder.Open(SourceGuidText("vidloom_lonely").c_str(), 1, CHANNELS, RATE, FRAMES))
            << log.All();
        EXPECT_EQ(0, recorder.StartCapture());
        EXPECT_TRUE(collector.WaitFor(3, 10000));

        RunCommand(pactl + "unload-module module-sine-source", &status);
        EXPECT_EQ(0, status);
        int64_t deadline = OS_NowMs() + 5000;
        while (!log.HasPart("has ended") && OS_NowMs() < deadline)
            OS_Sleep(10);
        EXPECT_TRUE(log.HasPart("Sound: recording from vidloom_lonely has ended")) << log.All();
        OS_Sleep(300);  // what the ring still held is delivered by now
        int delivered = collector.Count();
        OS_Sleep(300);
        EXPECT_EQ(delivered, collector.Count());

        // the server itself goes away too: Close still returns at once
        RunCommand("kill " + pid);
        OS_Sleep(200);
        EXPECT_LT(TimedClose(recorder), PROMPT_MS);
    }
    RunCommand("kill " + pid + " 2>/dev/null");
}
