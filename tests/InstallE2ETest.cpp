// vidloom as installed on a desktop: `cmake --install` into a prefix, the
// program run there with its files in the user's folders, the Debian package,
// and the English texts.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QRegularExpression>
#include <QTranslator>
#include <QWidget>
#include <csignal>
#include <sys/stat.h>

#include "app/DlgWorkMode.h"
#include "tests/support/AppDriver.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"
#include "ui/ScreenRecorder.h"

namespace {

const std::string BUILD = VIDLOOM_BINARY_DIR;

std::string Listing(const std::string& folder) {
    return RunCommand("cd '" + folder + "' && find . | sort");
}

}  // namespace

TEST(InstallE2E, InstalledProgramKeepsItsFilesInTheUserFolders) {
    REQUIRE_DISPLAY();
    TempDir prefix, home;
    std::string out = RunCommand("cmake --install '" + BUILD + "' --prefix '" + prefix.Path() + "' 2>&1");
    std::string share = prefix.Path() + "/share/";
    for (const char* file : {"vidloom/default.skin", "vidloom/default.cfg", "vidloom/bg.png", "vidloom/shutter.wav",
                             "icons/hicolor/64x64/apps/vidloom.png"})
        ASSERT_EQ(0, access((share + file).c_str(), R_OK)) << file << "\n" << out;
    int status = -1;
    out = RunCommand("desktop-file-validate '" + share + "applications/vidloom.desktop' 2>&1", &status);
    EXPECT_EQ(0, status) << out;
    out = RunCommand("appstreamcli validate --no-net '" + share + "metainfo/io.github.vidloom.metainfo.xml' 2>&1",
                     &status);
    EXPECT_EQ(0, status) << out;

    // --version and --help answer without a display and touch nothing.
    std::string exe = prefix.Path() + "/bin/vidloom";
    std::string env = "env -u DISPLAY HOME='" + home.Path() + "' XDG_STATE_HOME= XDG_CONFIG_HOME= ";
    EXPECT_EQ("vidloom 1.0.0\n", RunCommand(env + "'" + exe + "' --version", &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(0u, RunCommand(env + "'" + exe + "' --help", &status).find("Usage: vidloom"));
    EXPECT_EQ(0, status);
    EXPECT_EQ(".\n", Listing(home.Path()));
    std::string installed = Listing(prefix.Path());

    // A user whose videos folder is not ~/Videos, with no vidloom folders yet.
    std::string videos = home.Path() + "/Filme/vidloom";
    mkdir((home.Path() + "/config").c_str(), 0755);
    WriteFileText(home.File("config/user-dirs.dirs"), "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    AppDriver app;
    app.UseInstalled(exe, home.Path(), videos);
    app.SetEnv("HOME", home.Path());
    app.SetEnv("XDG_CONFIG_HOME", home.File("config"));
    app.SetEnv("XDG_STATE_HOME", home.File("state"));
    ASSERT_NE("", app.Enter("^桌面录像$")) << app.Log();
    Mp4Probe probe;
    ASSERT_EQ(0, probe.Open(app.Record(2000))) << app.OutputFiles() << app.Log();
    ASSERT_EQ(0u, app.OutputFiles().find("屏幕录像-")) << app.OutputFiles();

    EXPECT_EQ(ReadFileText(share + "vidloom/default.cfg"), ReadFileText(home.File("config/vidloom/default.cfg")));
    std::string log = ReadFileText(home.File("state/vidloom/vidloom.log.txt"));
    EXPECT_NE(std::string::npos, log.find("program start")) << log;
    app.Kill(SIGTERM);
    EXPECT_EQ(0, app.WaitExit());
    EXPECT_EQ(installed, Listing(prefix.Path())) << "nothing is written beside the program";
}

TEST(InstallE2E, DebianPackageHoldsTheProgramMenuEntryIconAndMetainfo) {
    TempDir packages;
    int status = -1;
    std::string out = RunCommand("cd '" + packages.Path() + "' && cpack -G DEB --config '" + BUILD +
                                 "/CPackConfig.cmake' -B '" + packages.Path() + "' 2>&1", &status);
    ASSERT_EQ(0, status) << out;
    std::string deb = RunCommand("ls '" + packages.Path() + "'/vidloom_*.deb");
    ASSERT_NE("", deb) << out;
    deb.pop_back();
    std::string contents = RunCommand("dpkg-deb -c '" + deb + "'");
    for (const char* file : {"./usr/bin/vidloom", "./usr/share/applications/vidloom.desktop",
                             "./usr/share/icons/hicolor/64x64/apps/vidloom.png",
                             "./usr/share/metainfo/io.github.vidloom.metainfo.xml", "./usr/share/vidloom/default.skin",
                             "./usr/share/vidloom/shutter.wav"})
        EXPECT_NE(std::string::npos, contents.find(std::string(file) + "\n")) << file << "\n" << contents;
    std::string depends = RunCommand("dpkg-deb -f '" + deb + "' Depends");
    for (const char* library : {"libqt5widgets5", "libavcodec59", "libpulse0", "libqt5multimedia5-plugins"})
        EXPECT_NE(std::string::npos, depends.find(library)) << depends;
}

TEST(InstallE2E, EnglishDesktopReadsEnglish) {
    REQUIRE_DISPLAY();
    REQUIRE_PULSE();
    // The running program: window titles and a message box.
    TempDir dir;
    AppDriver app;
    ASSERT_EQ(0, app.Install(dir.Path(), false));
    app.SetEnv("LANG", "en_US.UTF-8");
    app.SetEnv("LANGUAGE", "en_US:en");
    ASSERT_NE("", app.Enter("^Screen Recorder$")) << app.Log();
    app.Key("F3");  // no output folder
    ASSERT_NE("", app.WaitWindow("^Error$")) << app.Log();
    app.Kill(SIGKILL);  // it holds the hot keys the bar below grabs
    app.WaitExit();

    // Every text of both windows (labels, buttons, tool tips, lists, tray menu) from the translation.
    GuiTestApp();
    Q_INIT_RESOURCE(translations);
    QTranslator english;
    ASSERT_TRUE(english.load(":/translations/vidloom_en.qm"));
    QCoreApplication::installTranslator(&english);
    DlgWorkMode workModeWindow;
    ScreenRecorder bar(CAPTURE_X11, nullptr);
    QStringList texts;
    for (QWidget* window : {(QWidget*)&workModeWindow, (QWidget*)&bar}) {
        texts << window->windowTitle();
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            texts << widget->toolTip() << widget->property("text").toString();
            if (QComboBox* list = qobject_cast<QComboBox*>(widget))
                for (int i = 0; i < list->count(); ++i)
                    texts << list->itemText(i);
        }
        for (QAction* action : window->findChildren<QAction*>())
            texts << action->text() << action->toolTip();
    }
    QCoreApplication::removeTranslator(&english);
    QString all = texts.join("|");
    EXPECT_FALSE(all.contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]"))) << all.toStdString();
    for (const char* text : {"Screen recording", "Enter", "Start recording (F3)", "Open the videos folder", "Full screen"})
        EXPECT_TRUE(texts.contains(text)) << text << "\n" << all.toStdString();
}
