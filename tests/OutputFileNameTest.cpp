// Recording file names and picture timestamps of the recorder windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ui/OutputFileName.h"

TEST(OutputFileName, LocalStartTimeInTheName) {
    setenv("TZ", "UTC", 1);
    tzset();
    struct tm t = {};
    t.tm_year = 2015 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 8;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    time_t when = timegm(&t);
    EXPECT_EQ("output/屏幕录像-20150308140509.mp4", MakeOutputFileName("output/屏幕录像-", when));
    EXPECT_EQ("output/摄像头-20150308140509.mp4", MakeOutputFileName("output/摄像头-", when));

    // Local time, not UTC.
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
    EXPECT_EQ("p20150308220509.mp4", MakeOutputFileName("p", when));
    unsetenv("TZ");
    tzset();

    // An overlong prefix is cut, never written past the name buffer.
    std::string name = MakeOutputFileName(std::string(400, 'x'), when);
    EXPECT_EQ(255u, name.size());
}

TEST(OutputFileName, FrameTimestampRoundsToTheNearestPeriod) {
    EXPECT_EQ(0, FrameTimestamp(0, 40.0));
    EXPECT_EQ(0, FrameTimestamp(19, 40.0));
    EXPECT_EQ(1, FrameTimestamp(20, 40.0));
    EXPECT_EQ(25, FrameTimestamp(1019, 40.0));
    EXPECT_EQ(26, FrameTimestamp(1021, 40.0));
    EXPECT_EQ(90000, FrameTimestamp(3600 * 1000, 40.0)) << "an hour at 25 per second";
}
