// Recording file names of the recorder windows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ui/OutputFileName.h"

TEST(OutputFileName, LocalStartTimeInTheName) {
    const time_t when = 1425823509;  // 2015-03-08 14:05:09 UTC
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
