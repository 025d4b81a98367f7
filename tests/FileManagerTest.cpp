// The file manager is reached through D-Bus, with xdg-open as the fallback.
// Stand-ins for dbus-send and xdg-open record how they were called.
#include <gtest/gtest.h>

#include <QString>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "tests/support/TestEnv.h"
#include "ui/FileManager.h"

namespace {

class FileManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldPath = getenv("PATH") ? getenv("PATH") : "";
        std::string bin = m_dir.File("bin");
        RunCommand("mkdir -p '" + bin + "'");
        // each stand-in writes its arguments, one a line, into LOG_DIR
        WriteFileText(bin + "/dbus-send",
                      "#!/bin/sh\nfor a; do echo \"$a\"; done > \"$LOG_DIR/dbus.tmp\"\n"
                      "mv \"$LOG_DIR/dbus.tmp\" \"$LOG_DIR/dbus.txt\"\nexit \"$FAKE_DBUS_RC\"\n");
        WriteFileText(bin + "/xdg-open",
                      "#!/bin/sh\nfor a; do echo \"$a\"; done > \"$LOG_DIR/xdg.tmp\"\n"
                      "mv \"$LOG_DIR/xdg.tmp\" \"$LOG_DIR/xdg.txt\"\n");
        RunCommand("chmod +x '" + bin + "/dbus-send' '" + bin + "/xdg-open'");
        setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
        setenv("LOG_DIR", m_dir.Path().c_str(), 1);
    }

    void TearDown() override { setenv("PATH", m_oldPath.c_str(), 1); }

    // Content of a stand-in's log once it has been written (up to 10 s).
    std::string WaitForLog(const char* name) {
        std::string path = m_dir.File(name);
        for (int i = 0; i < 1000 && access(path.c_str(), F_OK) != 0; ++i)
            usleep(10000);
        return ReadFileText(path);
    }

    TempDir m_dir;
    std::string m_oldPath;
};

}  // namespace

TEST_F(FileManagerTest, ShowItemsWithEncodedUriElseOpensFolder) {
    setenv("FAKE_DBUS_RC", "1", 1);
    // a name with a space, a comma (dbus-send's list separator) and Chinese
    std::string folder = m_dir.File("out put");
    std::string file = folder + "/a,b \xE5\xBD\x95.mp4";
    ShowInFileManager(QString::fromUtf8(file.c_str()));

    std::string dbus = WaitForLog("dbus.txt");
    EXPECT_NE(std::string::npos, dbus.find("org.freedesktop.FileManager1.ShowItems")) << dbus;
    EXPECT_NE(std::string::npos, dbus.find("--dest=org.freedesktop.FileManager1")) << dbus;
    std::string uri = "array:string:file://" + m_dir.Path() + "/out%20put/a%2Cb%20%E5%BD%95.mp4\n";
    EXPECT_NE(std::string::npos, dbus.find(uri)) << dbus;

    // no file manager answered: the folder opens instead
    EXPECT_EQ(folder + "\n", WaitForLog("xdg.txt"));
}

TEST_F(FileManagerTest, AnsweredShowItemsOpensNothingElse) {
    setenv("FAKE_DBUS_RC", "0", 1);
    ShowInFileManager(QString::fromUtf8((m_dir.Path() + "/x.mp4").c_str()));
    EXPECT_FALSE(WaitForLog("dbus.txt").empty());
    usleep(500000);  // give a wrong fallback the time to show up
    EXPECT_NE(0, access(m_dir.File("xdg.txt").c_str(), F_OK));
}

TEST_F(FileManagerTest, OpenFolderTakesAbsolutePath) {
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(m_dir.Path().c_str()));
    OpenFolder(QStringLiteral("output"));
    EXPECT_EQ(chdir(cwd), 0);
    EXPECT_EQ(m_dir.Path() + "/output\n", WaitForLog("xdg.txt"));
}
