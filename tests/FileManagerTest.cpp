// The file manager through D-Bus, else xdg-open; stand-ins record how they were called.
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
        RunCommand("mkdir '" + m_dir.File("bin") + "'");
        // Each writes its arguments, one a line, into $LOG_DIR/<name>.txt at once.
        for (std::string name : {"dbus-send", "xdg-open"}) {
            std::string log = "\"$LOG_DIR/" + name;
            WriteFileText(m_dir.File("bin/" + name), "#!/bin/sh\nfor a; do echo \"$a\"; done > " + log + ".tmp\"\nmv " +
                                                         log + ".tmp\" " + log + ".txt\"\nexit \"${FAKE_DBUS_RC:-0}\"\n");
        }
        RunCommand("chmod +x '" + m_dir.File("bin") + "'/*");
        setenv("LOG_DIR", m_dir.Path().c_str(), 1);
    }
    // A stand-in's log once it has been written (waits up to 10 s).
    std::string WaitForLog(const std::string& name) {
        for (int i = 0; i < 1000 && access(m_dir.File(name + ".txt").c_str(), F_OK) != 0; ++i)
            usleep(10000);
        return ReadFileText(m_dir.File(name + ".txt"));
    }

    TempDir m_dir;
    ScopedEnv m_path{"PATH", m_dir.File("bin") + ":/usr/bin:/bin"};  // the stand-ins first
};

}  // namespace

TEST_F(FileManagerTest, ShowItemsWithEncodedUriElseOpensFolder) {
    setenv("FAKE_DBUS_RC", "1", 1);
    // a name with a space, a comma (dbus-send's list separator) and Chinese
    std::string folder = m_dir.File("out put");
    ShowInFileManager(QString::fromUtf8((folder + "/a,b \xE5\xBD\x95.mp4").c_str()));

    std::string dbus = WaitForLog("dbus-send");
    EXPECT_NE(std::string::npos, dbus.find("--dest=org.freedesktop.FileManager1")) << dbus;
    EXPECT_NE(std::string::npos, dbus.find("org.freedesktop.FileManager1.ShowItems")) << dbus;
    std::string uri = "array:string:file://" + m_dir.Path() + "/out%20put/a%2Cb%20%E5%BD%95.mp4\n";
    EXPECT_NE(std::string::npos, dbus.find(uri)) << dbus;
    EXPECT_EQ(folder + "\n", WaitForLog("xdg-open")) << "no file manager answered: the folder opens instead";
}

TEST_F(FileManagerTest, AnsweredShowItemsOpensNothingElseAndFoldersOpenByAbsolutePath) {
    setenv("FAKE_DBUS_RC", "0", 1);
    ShowInFileManager(QString::fromUtf8((m_dir.Path() + "/x.mp4").c_str()));
    EXPECT_FALSE(WaitForLog("dbus-send").empty());
    usleep(500000);  // give a wrong fallback the time to show up
    EXPECT_NE(0, access(m_dir.File("xdg-open.txt").c_str(), F_OK));
    // a folder opens by its absolute path
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(m_dir.Path().c_str()));
    OpenFolder(QStringLiteral("output"));
    EXPECT_EQ(chdir(cwd), 0);
    EXPECT_EQ(m_dir.Path() + "/output\n", WaitForLog("xdg-open"));
}
