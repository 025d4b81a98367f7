// The files in resources/: every icon the windows name, the bar background,
// the shutter sound, the settings file and a style sheet Qt accepts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QListView>
#include <QResource>
#include <QTextCodec>
#include <QToolButton>

#include <cstdint>
#include <cstring>
#include <string>

#include "app/ConfigFile.h"
#include "tests/support/TestApp.h"
#include "tests/support/TestEnv.h"
#include "ui/TextCodec.h"

namespace {

const std::string RESOURCES = std::string(VIDLOOM_SOURCE_DIR) + "/resources/";

const char* const ICONS[] = {"camera", "exit", "folder", "grab", "mic", "record", "recording_off",
                             "recording_on", "screen", "settings", "window"};

QApplication* App() {
    return TestApplication("offscreen");
}

// Compiles resources.qrc with Qt's resource compiler and mounts it, so the
// ":/image/..." names resolve as in the program.
bool MountResources(const TempDir& dir) {
    static bool mounted = false;
    if (mounted)
        return true;
    std::string rcc = dir.File("vidloom.rcc");
    int status = -1;
    std::string out = RunCommand("rcc -binary '" + RESOURCES + "resources.qrc' -o '" + rcc + "' 2>&1", &status);
    EXPECT_EQ(0, status) << out;
    mounted = status == 0 && QResource::registerResource(QString::fromStdString(rcc));
    return mounted;
}

// Collects Qt's warnings (a style sheet that does not parse is reported so).
QString g_warnings;
void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings += text + "\n";
}

uint32_t Le32(const std::string& b, size_t at) {
    return (uint8_t)b[at] | (uint8_t)b[at + 1] << 8 | (uint8_t)b[at + 2] << 16 | (uint32_t)(uint8_t)b[at + 3] << 24;
}
uint16_t Le16(const std::string& b, size_t at) {
    return (uint16_t)((uint8_t)b[at] | (uint8_t)b[at + 1] << 8);
}

}  // namespace

TEST(Resources, EveryNamedIconIsBuiltIn) {
    App();
    TempDir dir;
    ASSERT_TRUE(MountResources(dir));
    std::string names[sizeof ICONS / sizeof ICONS[0] + 1];
    for (size_t i = 0; i < sizeof ICONS / sizeof ICONS[0]; ++i)
        names[i] = std::string(":/image/icon/") + ICONS[i] + ".png";
    names[sizeof ICONS / sizeof ICONS[0]] = ":/image/screen.png";  // the bar's window icon
    for (const std::string& name : names) {
        QImage image(QString::fromStdString(name));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(QSize(64, 64), image.size()) << name;
        EXPECT_TRUE(image.hasAlphaChannel()) << name;
        EXPECT_EQ(0, qAlpha(image.pixel(0, 0))) << name << ": corners are transparent";
        EXPECT_EQ(0, qAlpha(image.pixel(63, 0))) << name;
    }

    // the stop button blinks between a red and a grey dot
    QRgb on = QImage(":/image/icon/recording_on.png").pixel(32, 40);
    QRgb off = QImage(":/image/icon/recording_off.png").pixel(32, 40);
    EXPECT_GT(qRed(on), 2 * qGreen(on));
    EXPECT_GT(qRed(on), 150);
    EXPECT_LT(std::abs(qRed(off) - qGreen(off)), 20);
    EXPECT_LT(std::abs(qGreen(off) - qBlue(off)), 20);
}

TEST(Resources, FilesBesideTheProgram) {
    QImage bg(QString::fromStdString(RESOURCES + "bg.png"));
    EXPECT_EQ(QSize(549, 59), bg.size());

    // shutter.wav: PCM, short
    std::string wav = ReadFileText(RESOURCES + "shutter.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(0, memcmp(wav.data(), "RIFF", 4));
    EXPECT_EQ(0, memcmp(wav.data() + 8, "WAVEfmt ", 8));
    EXPECT_EQ(1, Le16(wav, 20)) << "PCM";
    uint32_t byteRate = Le32(wav, 28);
    ASSERT_EQ(0, memcmp(wav.data() + 36, "data", 4));
    double seconds = (double)Le32(wav, 40) / byteRate;
    EXPECT_GT(seconds, 0.05);
    EXPECT_LT(seconds, 0.5);

    ConfigFile config;
    ASSERT_TRUE(config.Load((RESOURCES + "default.cfg").c_str(), ConfigFile::DEFAULT_CAPACITY));
    EXPECT_EQ(0, config.GetInt("camera.reverse", -1));
    config.Close();
}

TEST(Resources, SkinIsGb2312AndQtAcceptsIt) {
    App();
    TempDir dir;
    ASSERT_TRUE(MountResources(dir));

    std::string raw = ReadFileText(RESOURCES + "default.skin");
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("gb2312")->toUnicode(raw.data(), (int)raw.size(), &state);
    EXPECT_EQ(0, state.invalidChars) << "default.skin must be GB2312 text";

    QString skin = LoadStyleSheet((RESOURCES + "default.skin").c_str());
    ASSERT_FALSE(skin.isEmpty());
    for (const char* name : {"ScreenRecorder", "btnStart", "btnStop", "cbxUseMic", "cbxScreenMode",
                             "btnChooseWindow", "btnView", "btnOpenFolder", "btnCloseWindow", "frame",
                             "frame_2", "grpScreenMode", "spliter", "frame_4", "line", "QListView",
                             "DlgWorkMode", "chScreen", "chCamera", "btnEnter", "CameraRecorder",
                             "videoFrame", "grpSettings", "cbxCamera", "DlgCamConfig"})
        EXPECT_TRUE(skin.contains(name)) << name;

    // a bar with the fixed names, polished under the skin
    g_warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(CollectWarnings);
    App()->setStyleSheet(skin);
    QDialog bar;
    bar.setObjectName("ScreenRecorder");
    QToolButton start(&bar);
    start.setObjectName("btnStart");
    start.setIconSize(QSize(40, 40));
    start.setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QComboBox mode(&bar);
    mode.setObjectName("cbxScreenMode");
    mode.setView(new QListView);
    mode.addItem("x");
    bar.resize(549, 59);
    bar.show();
    App()->processEvents();
    start.ensurePolished();
    mode.view()->ensurePolished();
    qInstallMessageHandler(previous);
    App()->setStyleSheet(QString());

    EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.toStdString();
    EXPECT_FALSE(start.icon().isNull()) << "the skin gives the start button its icon";
    EXPECT_EQ(Qt::ToolButtonTextBesideIcon, start.toolButtonStyle()) << "so that the text fits in the bar";
}
