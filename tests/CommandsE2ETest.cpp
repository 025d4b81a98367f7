// The commands for desktop shortcuts on the real program: --screen opens the bar directly,
// --start/--stop/--toggle reach the running copy, and without one they say so.
#include <gtest/gtest.h>

#include "os/OS_Clock.h"
#include "tests/support/AppDriver.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

TEST(CommandsE2E, ScreenStartStopToggleAndNoRunningCopy) {
    REQUIRE_DISPLAY();
    REQUIRE_PULSE();
    TempDir dir;
    AppDriver app;
    ASSERT_EQ(0, app.Install(dir.Path()));
    std::string output;
    EXPECT_EQ(1, app.Command("--stop", &output));
    EXPECT_NE(std::string::npos, output.find("no running copy")) << output;

    // straight to the bar, no work-mode window
    ASSERT_EQ(0, app.Launch("--screen"));
    ASSERT_NE("", app.WaitWindow("^桌面录像$")) << app.Log();
    EXPECT_FALSE(app.HasWindow("^Quorvex$"));

    EXPECT_EQ(0, app.Command("--start", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("recording started")) << output;
    OS_Sleep(3000);
    EXPECT_EQ(0, app.Command("--stop", &output)) << output;
    std::string path = app.WaitOutputFile();
    ASSERT_NE("", path) << app.Log();
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(path)) << probe.Error();
    EXPECT_GE(probe.Packets(0).size(), 70u);
    EXPECT_NE("", app.WaitWindow("^桌面录像$", 5000)) << "the bar comes back";

    // toggle: starts, then stops, a second file
    EXPECT_EQ(0, app.Command("--toggle", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("started")) << output;
    OS_Sleep(1500);
    EXPECT_EQ(0, app.Command("--toggle", &output)) << output;
    EXPECT_NE(std::string::npos, output.find("stopped")) << output;
    OS_Sleep(1500);
    app.WaitOutputFile();
    EXPECT_EQ(2, app.OutputCount()) << app.OutputFiles();
}
