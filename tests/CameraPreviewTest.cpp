// The camera preview: pictures through the preview thread drawn by the OpenGL widget, and its placement.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <QImage>
#include <vector>

#include "tests/support/GuiTestApp.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/TestEnv.h"
#include "ui/CameraRecorder.h"
#include "ui/GLWidget.h"
#include "ui/PresentTask.h"

namespace {

const QRect kBox(200, 150, 240, 180);

// The upper and lower quarter bands of the widget (edge rows blend: the texture repeats).
QRect UpperBand() { return QRect(kBox.x() + 20, kBox.y() + kBox.height() / 8, kBox.width() - 40, kBox.height() / 4); }
QRect LowerBand() { return UpperBand().translated(0, kBox.height() / 2); }

}  // namespace

TEST(CameraPreview, ShowsBlackThenEachNewPictureRightSideUp) {
    REQUIRE_DISPLAY();
    GuiTestApp();
    GLWidget box(nullptr);
    // Before the widget was first shown there is no buffer to copy into.
    std::vector<uint8_t> red = SolidPicture(3, 2, 3, 0, 0, 255);
    EXPECT_EQ(-1, box.SetFrame(red.data(), (int)red.size(), 3, 2));

    box.setWindowFlags(Qt::FramelessWindowHint);
    box.setGeometry(kBox);
    box.show();
    ASSERT_TRUE(WaitExposed(&box));
    ProcessEventsFor(100);
    EXPECT_LT(qGray(MeanColour(GrabScreen(), kBox.adjusted(10, 10, -10, -10))), 10) << "black start picture";
    // Larger than the buffer, or a size that does not match: refused.
    std::vector<uint8_t> huge = SolidPicture(1921, 1080, 3, 0, 0, 255);
    EXPECT_EQ(-1, box.SetFrame(huge.data(), (int)huge.size(), 1921, 1080));
    EXPECT_EQ(-1, box.SetFrame(red.data(), (int)red.size(), 2, 2));
    // 3 x 8 (rows of 9 bytes: not 4-aligned), upper half red, lower half blue.
    std::vector<uint8_t> picture = SolidPicture(3, 8, 3, 0, 0, 255);
    for (size_t at = 4 * 9; at < picture.size(); at += 3) {
        picture[at] = 255;
        picture[at + 2] = 0;
    }
    CountingAllocator allocator;
    PresentTask presenter;
    ASSERT_EQ(0, presenter.Open(&box, 3, 8, AV_PIX_FMT_BGR24));
    int64_t drawn = box.DrawnPictures();
    MMPacket packet = MakePacket(MMPacket::TYPE_UNSET, picture, 0, &allocator);
    presenter.Push(&packet);
    ASSERT_TRUE(ProcessEventsUntil([&] { return presenter.Presented() == 1; }));
    ProcessEventsFor(100);
    QRgb upper = MeanColour(GrabScreen(), UpperBand()), lower = MeanColour(GrabScreen(), LowerBand());
    EXPECT_GT(qRed(upper), 200) << "first row at the top";
    EXPECT_LT(qBlue(upper), 50);
    EXPECT_GT(qBlue(lower), 200);
    EXPECT_LT(qRed(lower), 50);
    EXPECT_EQ(drawn + 1, box.DrawnPictures()) << "uploaded once, not at every tick";
    // A short picture is not read past its end; the queue keeps at most 31.
    std::vector<uint8_t> shortPicture(10);
    MMPacket shortPacket = MakePacket(MMPacket::TYPE_UNSET, shortPicture, 0, &allocator);
    presenter.Push(&shortPacket);
    for (int i = 0; i < 40; ++i) {
        MMPacket more = MakePacket(MMPacket::TYPE_UNSET, picture, 0, &allocator);
        presenter.Push(&more);
    }
    presenter.Close();
    EXPECT_EQ(0, allocator.Outstanding()) << "every picture given back, queued ones at Close";
    MMPacket late = MakePacket(MMPacket::TYPE_UNSET, picture, 0, &allocator);
    presenter.Push(&late);
    EXPECT_EQ(0, allocator.Outstanding()) << "a closed preview takes nothing";
}

TEST(CameraPreview, FitsTheBoxToThePictureInsideTheFrame) {
    struct Case { int frameW, frameH, width, height, w, h; } cases[] = {
        {400, 300, 640, 480, 396, 299},   // equal aspects: 400 / 1.3333334 = 299.99999
        {400, 300, 1280, 720, 396, 224},  // wider
        {600, 300, 640, 480, 400, 296},   // narrower
        {400, 300, 1, 1, 300, 296},       // before any camera runs
    };
    for (const Case& c : cases) {
        QRect rect = CameraRecorder::FitVideoRect(c.frameW, c.frameH, c.width, c.height);
        EXPECT_EQ(QSize(c.w, c.h), rect.size()) << c.frameW << "x" << c.frameH << " " << c.width;
        EXPECT_NEAR(c.frameW / 2, rect.center().x(), 1);
        EXPECT_NEAR(c.frameH / 2, rect.center().y(), 1);
    }
    EXPECT_TRUE(CameraRecorder::FitVideoRect(0, 300, 640, 480).isNull()) << "no frame yet";
}
