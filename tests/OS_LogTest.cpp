// vidloom:sanitize
// The log: line format, levels, the message cut, rotation, and many threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgramLog.h"
#include "media/AvPacker.h"
#include "os/OS_Log.h"
#include "tests/support/TestEnv.h"

namespace {

const std::regex STAMP(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");

std::atomic<int> g_calls{0};
std::string g_lastText;
int Record(int level, const char* text) {
    ++g_calls;
    g_lastText = std::to_string(level) + ":" + text;
    return 0;
}

class Log : public testing::Test {
protected:
    void SetUp() override {
        m_log.SetEcho(false);
        ASSERT_EQ(0, m_log.Open(m_path.c_str()));
        g_calls = 0;
    }
    // The file with each time stamp replaced by "T ".
    std::string Text() { return std::regex_replace(ReadFileText(m_path), STAMP, "T "); }

    TempDir m_dir;
    std::string m_path = m_dir.File("vidloom.log.txt");
    OS_Log m_log;
};

}  // namespace

TEST_F(Log, LineFormatEchoLevelsAndLiteralPercent) {
    m_log.SetEcho(true);
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, m_log.Print(OS_Log::LEVEL_INFO, "%d\n", 5));
    EXPECT_EQ("T INF  5\n", std::regex_replace(testing::internal::GetCapturedStdout(), STAMP, "T "));
    m_log.SetEcho(false);

    m_log.SetCallback(&Record);
    for (int level = -1; level <= 5; ++level)  // 5 is above the default level 4
        m_log.Print(level, "level %d\n", level);
    // A title with percent signs is passed as an argument: written literally.
    m_log.Print(3, "title: %s\n", "100% %d %s done");
    m_log.Print(3, "no line end ");
    m_log.Print(3, "runs on\n");
    m_log.SetLevel(1);
    m_log.Print(2, "warning dropped\n");
    EXPECT_EQ("T [INF]  5\nT [UND]  level -1\nT [FTL]  level 0\nT [ERR]  level 1\nT [WRN]  level 2\n"
              "T [INF]  level 3\nT [DBG]  level 4\nT [INF]  title: 100% %d %s done\n"
              "T [INF]  no line end T [INF]  runs on\n",
              Text());
    EXPECT_EQ(9, g_calls.load()) << "dropped messages never reach the callback";
    EXPECT_EQ("3:runs on\n", g_lastText);
}

TEST_F(Log, LongMessagesAreCutBadFileNamesOnlyLoseTheFileAndItRotatesPast4MiB) {
    m_log.Print(3, "%s", std::string(2000, 'x').c_str());
    EXPECT_EQ("T [INF]  " + std::string(OS_Log::MAX_MESSAGE, 'x'), Text());

    std::string longName = m_dir.Path() + "/" + std::string(256, 'n');
    OS_Log refused;
    refused.SetEcho(false);
    refused.SetCallback(&Record);
    EXPECT_EQ(0, refused.Open(longName.c_str()));
    EXPECT_EQ(0, refused.Print(3, "still reaches the callback\n"));
    EXPECT_EQ(1, g_calls.load());
    EXPECT_EQ("vidloom.log.txt\n", RunCommand("ls '" + m_dir.Path() + "'")) << "no file of a cut name";
    // Rotation: each message is 27 bytes of prefix plus 401: the 9800th passes 4 MiB.
    std::string chunk(400, 'r');
    for (int i = 0; ReadFileText(m_path + ".bak").empty() && i < 20000; ++i)
        m_log.Print(3, "%s\n", chunk.c_str());
    std::string backup = ReadFileText(m_path + ".bak");
    ASSERT_GT(backup.size(), (size_t)OS_Log::ROTATE_BYTES);
    EXPECT_LT(backup.size(), (size_t)OS_Log::ROTATE_BYTES + 500);
    EXPECT_EQ('\n', backup.back()) << "the message that crossed the limit is whole in the backup";
    EXPECT_EQ("", ReadFileText(m_path));
    m_log.Print(3, "after rotation\n");
    EXPECT_EQ("T [INF]  after rotation\n", Text());
}

TEST_F(Log, ManyThreadsNeverInterleaveInsideTheFile) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 10; ++t)
        writers.emplace_back([this, t] {
            for (int i = 0; i < 10000; ++i)
                m_log.Print(3, "thread %d line %d %s\n", t, i, "padding-padding-padding-padding");
        });
    for (std::thread& w : writers)
        w.join();
    // 100,000 lines of about 90 bytes rotated at least twice: every surviving line is whole.
    std::istringstream all(ReadFileText(m_path + ".bak") + ReadFileText(m_path));
    std::regex whole(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[INF\]  thread (\d) line (\d+) padding-padding-padding-padding)");
    std::set<std::pair<int, int>> seen;
    std::smatch m;
    for (std::string line; std::getline(all, line);) {
        ASSERT_TRUE(std::regex_match(line, m, whole)) << "broken line: " << line;
        EXPECT_TRUE(seen.insert({std::stoi(m[1]), std::stoi(m[2])}).second) << "duplicate: " << line;
    }
    EXPECT_GT(seen.size(), 40000u);
}

TEST(ProgramLog, EveryLineGoesOutOnceWithItsCause) {
    TempDir dir;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_EQ(0, OpenProgramLog(dir.File("vidloom.log.txt").c_str()));
    AvPacker packer;
    EXPECT_EQ(-1, packer.Open(dir.File("missing/x.mp4").c_str(), 64, 48, 32, 0, 64, 48, 25));
    std::string console = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    size_t first = console.find("failed to open ts file");
    ASSERT_NE(std::string::npos, first) << console;
    EXPECT_EQ(std::string::npos, console.find("failed to open ts file", first + 1)) << console;
    // FFmpeg's reason on the failing line's level, not only at debug level.
    std::string file = std::regex_replace(ReadFileText(dir.File("vidloom.log.txt")), STAMP, "T ");
    EXPECT_NE(std::string::npos, file.find("T [ERR]  failed to open ts file to write \nT [ERR]  mux: " +
                                           dir.File("missing/x.mp4") + ": No such file or directory\n")) << file;
}

TEST(ProgramLog, LinesWrittenAfterMainHasEndedAreKept) {
    // A late writer registered before the log runs after its exit clean-up would; the child reruns
    // this test from its start and finds the file through the environment.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    if (!getenv("VIDLOOM_LATE_LOG"))
        setenv("VIDLOOM_LATE_LOG", dir.File("vidloom.log.txt").c_str(), 1);
    std::string path = getenv("VIDLOOM_LATE_LOG");
    EXPECT_EXIT(
        {
            std::atexit([] { OS_Log::Warning("late line\n"); });
            OS_Log::Global().SetEcho(false);
            OS_Log::Global().Open(path.c_str());
            OS_Log::Info("first line\n");
            exit(0);
        },
        testing::ExitedWithCode(0), "");
    unsetenv("VIDLOOM_LATE_LOG");
    std::string text = ReadFileText(path);
    EXPECT_NE(std::string::npos, text.find("[WRN]  late line")) << text;
}
