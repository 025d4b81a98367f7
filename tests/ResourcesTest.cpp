// The files in resources/: every icon the windows name and a style sheet Qt accepts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QResource>
#include <QTextCodec>
#include <QToolButton>
#include <string>

#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "ui/TextCodec.h"

namespace {

const std::string RESOURCES = std::string(VIDLOOM_SOURCE_DIR) + "/resources/";

// The application with resources.qrc compiled and mounted, so ":/image/..." resolves as in the program.
QApplication* App() {
    QApplication* app = GuiTestApp("offscreen");
    static TempDir dir;
    static std::string rcc =
        RunCommand("rcc -binary '" + RESOURCES + "resources.qrc' -o '" + dir.File("r.rcc") + "' 2>&1");
    static bool mounted = QResource::registerResource(QString::fromStdString(dir.File("r.rcc")));
    EXPECT_TRUE(mounted) << rcc;
    return app;
}

// Qt's warnings (a style sheet that does not parse is reported so).
QString g_warnings;

}  // namespace

TEST(Resources, EveryNamedIconIsBuiltInAndTheSkinIsGb2312ThatQtAccepts) {
    QApplication* app = App();
    for (const char* name : {"icon/camera", "icon/exit", "icon/folder", "icon/grab", "icon/mic", "icon/record",
                             "icon/recording_off", "icon/recording_on", "icon/screen", "icon/settings",
                             "icon/window", "screen"}) {
        QImage image(QString(":/image/%1.png").arg(name));
        EXPECT_EQ(QSize(64, 64), image.size()) << name;
        EXPECT_EQ(0, qAlpha(image.pixel(0, 0))) << name << ": corners are transparent";
    }
    // the skin is GB2312 text that Qt accepts
    std::string raw = ReadFileText(RESOURCES + "default.skin");
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("gb2312")->toUnicode(raw.data(), (int)raw.size(), &state);
    EXPECT_EQ(0, state.invalidChars) << "default.skin must be GB2312 text";

    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            g_warnings += text + "\n";
    });
    app->setStyleSheet(LoadStyleSheet((RESOURCES + "default.skin").c_str()));
    QDialog bar;
    bar.setObjectName("ScreenRecorder");
    QToolButton start(&bar);
    start.setObjectName("btnStart");
    bar.show();
    app->processEvents();
    start.ensurePolished();
    qInstallMessageHandler(nullptr);
    app->setStyleSheet(QString());

    EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.toStdString();
    EXPECT_FALSE(start.icon().isNull()) << "the skin gives the start button its icon";
    EXPECT_EQ(Qt::ToolButtonTextBesideIcon, start.toolButtonStyle()) << "so that the text fits in the bar";
}
