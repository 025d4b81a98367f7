// The private servers that the test runner starts are reachable.
#include <gtest/gtest.h>

#include "tests/support/TestEnv.h"

TEST(TestServers, XServerAnswers) {
    REQUIRE_DISPLAY();
    int status = 0;
    std::string info = RunCommand("xdpyinfo 2>&1", &status);
    EXPECT_EQ(0, status) << info;
    EXPECT_NE(std::string::npos, info.find("MIT-SHM")) << "shared memory extension missing";
    EXPECT_NE(std::string::npos, info.find("XFIXES"));
}

TEST(TestServers, PulseAudioHasTestDevices) {
    REQUIRE_PULSE();
    int status = 0;
    std::string sources = RunCommand("pactl list short sources 2>&1", &status);
    EXPECT_EQ(0, status) << sources;
    EXPECT_NE(std::string::npos, sources.find("vidloom_test_sine"));
    EXPECT_NE(std::string::npos, sources.find("vidloom_test_sink.monitor"));
}
