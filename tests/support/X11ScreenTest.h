#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/X11TestScreen.h"

// Fixture of the capture tests: the frame pool as main sets it up, a
// connection to the test X server with the pointer parked in the bottom-right
// corner, and windows that go away after each test.
class X11ScreenTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A window of one colour that TearDown destroys.
    unsigned long Window(int x, int y, int width, int height, uint32_t rgb);

    X11TestScreen m_screen;

private:
    std::vector<unsigned long> m_windows;
};
