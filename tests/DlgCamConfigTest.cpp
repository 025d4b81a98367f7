// The camera settings dialog on the test camera, including a camera handed over or taken away.
#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QSpinBox>
#include <cstdlib>

#include "capture/CameraCapture.h"
#include "platform/testcam/TestCameraDevice.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "ui/DlgCamConfig.h"

class DlgCamConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        GuiTestApp();
        setenv("VIDLOOM_TEST_CAMERA", "1", 1);
        TestCameraDevice::Reset();
        ASSERT_EQ(0, capture.Open(TestCameraDevice::PATH, nullptr, 0, 0));
        ASSERT_EQ(0, raw.Open(TestCameraDevice::PATH));
    }
    // The driver's brightness, contrast and saturation as "b c s".
    std::string Controls() {
        int b = -1, c = -1, s = -1;
        raw.GetControl(CAMERA_BRIGHTNESS, b);
        raw.GetControl(CAMERA_CONTRAST, c);
        raw.GetControl(CAMERA_SATURATION, s);
        return std::to_string(b) + " " + std::to_string(c) + " " + std::to_string(s);
    }
    template <typename T>
    T* Find(DlgCamConfig& dialog, const char* name) {
        T* widget = dialog.findChild<T*>(name);
        EXPECT_NE(nullptr, widget) << name;
        return widget;
    }

    CameraCapture capture;
    TestCameraDevice raw;  // reads the driver's values beside the dialog
};

TEST_F(DlgCamConfigTest, LoadsTheCameraAndSendsTheChoices) {
    DlgCamConfig dialog(&capture);
    EXPECT_EQ(QString("调整摄像头参数"), dialog.windowTitle());
    // 30 frames a second shows as 25
    EXPECT_EQ(25, Find<QSpinBox>(dialog, "ctlFrameRate")->value());
    // 0 of -64..64, 128 of 0..255, 50 of 0..100 show as 50 and go back through the percentage
    for (const char* name : {"ctlBrightness", "ctlContrast", "ctlSaturation"})
        EXPECT_EQ(50, Find<QSlider>(dialog, name)->value()) << name;
    EXPECT_EQ("0 127 50", Controls());

    QComboBox* sizes = Find<QComboBox>(dialog, "cbxResolution");
    ASSERT_EQ(3, sizes->count());
    EXPECT_EQ(QString("640x480 320x240 1280x720"),
              sizes->itemText(0) + " " + sizes->itemText(1) + " " + sizes->itemText(2));
    EXPECT_EQ(0, sizes->currentIndex());
    // the sliders reach the camera, the signals carry the choice
    QSlider* contrast = Find<QSlider>(dialog, "ctlContrast");
    contrast->setValue(0);  // 0 leaves the camera alone
    EXPECT_EQ("0 127 50", Controls());
    contrast->setValue(5);
    Find<QSlider>(dialog, "ctlBrightness")->setValue(99);
    EXPECT_EQ("62 12 50", Controls());
    Find<QSpinBox>(dialog, "ctlFrameRate")->setValue(10);  // shows only

    std::vector<bool> flips;
    std::vector<std::pair<int, int>> chosen;
    QObject::connect(&dialog, &DlgCamConfig::evtReversed, [&](bool r) { flips.push_back(r); });
    QObject::connect(&dialog, &DlgCamConfig::evtResolutionChanged,
                     [&](int w, int h) { chosen.emplace_back(w, h); });
    dialog.SetReversed(true);  // shows the window's state, emits nothing
    QCheckBox* reverse = Find<QCheckBox>(dialog, "btnReverse");
    EXPECT_TRUE(reverse->isChecked());
    reverse->click();
    reverse->click();
    EXPECT_EQ((std::vector<bool>{false, true}), flips);
    sizes->setCurrentIndex(2);
    EXPECT_EQ((std::vector<std::pair<int, int>>{{1280, 720}}), chosen);
    // the window takes its camera away, then hands over a new one
    dialog.SetCamera(nullptr);
    capture.Close();
    contrast->setValue(60);
    EXPECT_EQ(0, sizes->count());
    CameraCapture next;
    ASSERT_EQ(0, next.Open(TestCameraDevice::PATH, nullptr, 320, 240));
    dialog.SetCamera(&next);
    EXPECT_EQ(3, sizes->count());
    EXPECT_EQ(1u, chosen.size());  // refilling the list chose nothing
    contrast->setValue(20);  // loading moved brightness from 99 to 98 percent
    EXPECT_EQ("61 51 50", Controls());
}
