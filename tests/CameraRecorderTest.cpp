// The camera window's settings follow a changed camera; the flip is saved.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QSlider>
#include <cstdlib>
#include <unistd.h>

#include "platform/testcam/TestCameraDevice.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "ui/CameraRecorder.h"
#include "ui/DlgCamConfig.h"
#include "ui/TextCodec.h"

TEST(CameraRecorder, SettingsFollowTheRunningCameraAndTheFlipIsSaved) {
    REQUIRE_DISPLAY();
    GuiTestApp();
    InitTextCodec();
    setenv("VIDLOOM_TEST_CAMERA", "1", 1);
    TestCameraDevice::Reset();
    TempDir dir;
    WriteFileText(dir.File("default.cfg"), "camera.reverse=0\n");
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(dir.Path().c_str()));
    {
        CameraRecorder window;
        ASSERT_TRUE(window.HasCameras());
        window.show();
        ASSERT_TRUE(WaitExposed(&window));
        EXPECT_EQ(0, window.OnStopRecord()) << "not recording: nothing to do";
        ASSERT_EQ(0, window.OnShowConfig());
        DlgCamConfig* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (DlgCamConfig* found = qobject_cast<DlgCamConfig*>(widget))
                dialog = found;
        ASSERT_NE(nullptr, dialog);

        // The camera object is made anew; the dialog must act on the new one.
        window.OnCameraChanged(0);
        dialog->findChild<QSlider*>("ctlBrightness")->setValue(80);
        TestCameraDevice raw;
        ASSERT_EQ(0, raw.Open(TestCameraDevice::PATH));
        int brightness = 0;
        raw.GetControl(CAMERA_BRIGHTNESS, brightness);
        EXPECT_EQ(128 * 80 / 100 - 64, brightness) << "80 % of -64..64 reached the running camera";

        dialog->findChild<QCheckBox*>("btnReverse")->click();
        EXPECT_NE(std::string::npos, ReadFileText("default.cfg").find("camera.reverse=1"));
    }
    TestCameraDevice::Reset();
    ASSERT_EQ(0, chdir(previous));
}
