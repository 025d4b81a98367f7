// Recording file names of the recorder windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ui/OutputFileName.h"

TEST(OutputFileName, LocalStartTimeInTheName) {
    struct tm t = {};
    t.tm_year = 2015 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 8;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    time_t when = timegm(&t);
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ("output/屏幕录像-20150308140509.mp4", MakeOutputFileName("output/屏幕录像-", when));
    setenv("TZ", "Asia/Shanghai", 1);  // local time, not UTC
    tzset();
    EXPECT_EQ("p20150308220509.mp4", MakeOutputFileName("p", when));
    unsetenv("TZ");
    tzset();
    EXPECT_EQ(255u, MakeOutputFileName(std::string(400, 'x'), when).size()) << "an overlong prefix is cut";
}
