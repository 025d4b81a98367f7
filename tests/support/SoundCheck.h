#pragma once

#include <gtest/gtest.h>

#include <string>

#include "capture/GUID.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

// Helpers for tests that use the test sound server.

// The device id (GUID text) of a source of the sound server.
inline std::string SourceGuidText(const std::string& sourceName) {
    GUID guid;
    GuidFromSourceName(sourceName, guid);
    std::string text;
    GuidToString(guid, text);
    return text;
}

// Points PULSE_SERVER elsewhere for one scope (by default at no server).
struct ScopedPulseServer : ScopedEnv {
    explicit ScopedPulseServer(const std::string& server = "unix:/nonexistent/vidloom-no-server")
        : ScopedEnv("PULSE_SERVER", server) {}
};

// A recording of about `seconds` with "默认麦克风+立体声": sound throughout (the sine source comes
// in 2 s bursts), the stereo mix's 440 Hz and the microphone's 1000 Hz both clearly in it.
inline void ExpectMicrophoneAndMixTones(const std::string& path, double seconds) {
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    ProbeSound sound;
    ASSERT_EQ(0, probe.DecodeSound(probe.FindStream(ProbeStream::AUDIO), &sound));
    EXPECT_EQ(11025, sound.sampleRate);
    EXPECT_GT(sound.Frames(), (seconds - 2.5) * 11025) << "sound throughout";
    double quiet = sound.TonePower(0, 700);
    EXPECT_GT(sound.TonePower(0, 440), 20 * quiet) << "the stereo mix's tone";
    EXPECT_GT(sound.TonePower(0, 1000), 20 * quiet) << "the microphone's tone";
}
