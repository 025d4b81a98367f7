// vidloom:sanitize
// The log: line format, levels, the message cut, rotation, and many threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "os/OS_Clock.h"
#include "os/OS_Log.h"
#include "os/OS_Thread.h"
#include "tests/support/TestEnv.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line))
        lines.push_back(line);
    return lines;
}

std::atomic<int> g_callbackCalls{0};
std::string g_lastCallbackText;
int RecordCallback(int level, const char* text) {
    ++g_callbackCalls;
    g_lastCallbackText = std::to_string(level) + ":" + text;
    return 0;
}

}  // namespace

TEST(OS_Log, FileLineFormatAndStandardOutputEcho) {
    TempDir dir;
    std::string path = dir.File("vidloom.log.txt");
    OS_Log log;
    ASSERT_EQ(0, log.Open(path.c_str()));
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, log.Print(OS_Log::LEVEL_INFO, "%d\n", 5));
    std::string echoed = testing::internal::GetCapturedStdout();

    std::regex fileLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[INF\]  5\n)");
    EXPECT_TRUE(std::regex_match(ReadFileText(path), fileLine)) << ReadFileText(path);
    std::regex echoLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d INF  5\n)");
    EXPECT_TRUE(std::regex_match(echoed, echoLine)) << echoed;
}

TEST(OS_Log, TagsLevelsCallbackAndLiteralPercent) {
    TempDir dir;
    std::string path = dir.File("log.txt");
    OS_Log log;
    log.SetEcho(false);
    ASSERT_EQ(0, log.Open(path.c_str()));
    log.SetCallback(&RecordCallback);
    g_callbackCalls = 0;

    log.Print(0, "a\n");
    log.Print(1, "b\n");
    log.Print(2, "c\n");
    log.Print(3, "d\n");
    log.Print(4, "e\n");
    log.Print(-1, "f\n");
    EXPECT_EQ(0, log.Print(5, "dropped %s\n", "never formatted"));
    // A title with percent signs is passed as an argument: written literally.
    log.Print(3, "title: %s\n", "100% %d %s done");
    log.Print(3, "no line end ");
    log.Print(3, "runs on\n");

    std::vector<std::string> lines = Lines(ReadFileText(path));
    ASSERT_EQ(8u, lines.size());
    const char* tags[] = {"[FTL]  a", "[ERR]  b", "[WRN]  c", "[INF]  d", "[DBG]  e", "[UND]  f"};
    for (int i = 0; i < 6; ++i)
        EXPECT_NE(std::string::npos, lines[i].find(tags[i])) << lines[i];
    EXPECT_NE(std::string::npos, lines[6].find("title: 100% %d %s done"));
    EXPECT_NE(std::string::npos, lines[7].find("no line end ") );
    EXPECT_NE(std::string::npos, lines[7].find("[INF]  runs on"));
    EXPECT_EQ(9, g_callbackCalls.load()) << "the dropped message never reaches the callback";
    EXPECT_EQ("3:runs on\n", g_lastCallbackText);

    log.SetLevel(1);
    log.Print(2, "warning dropped\n");
    EXPECT_EQ(std::string::npos, ReadFileText(path).find("warning dropped"));
}

TEST(OS_Log, LongMessagesAreCutAt511Characters) {
    TempDir dir;
    std::string path = dir.File("log.txt");
    OS_Log log;
    log.SetEcho(false);
    ASSERT_EQ(0, log.Open(path.c_str()));
    std::string longText(2000, 'x');
    log.Print(3, "%s", longText.c_str());
    std::string content = ReadFileText(path);
    size_t prefix = strlen("2014-07-16 09:05:01 [INF]  ");
    EXPECT_EQ(prefix + OS_Log::MAX_MESSAGE, content.size());
}

TEST(OS_Log, OpenEmptiesTheFileAndRefusesOverlongNames) {
    TempDir dir;
    std::string path = dir.File("log.txt");
    {
        OS_Log first;
        first.SetEcho(false);
        first.Open(path.c_str());
        first.Print(3, "first run\n");
    }
    OS_Log second;
    second.SetEcho(false);
    second.Open(path.c_str());
    second.Print(3, "second run\n");
    std::string content = ReadFileText(path);
    EXPECT_EQ(std::string::npos, content.find("first run"));
    EXPECT_NE(std::string::npos, content.find("second run"));

    std::string longName = dir.Path() + "/" + std::string(256, 'n');
    OS_Log refused;
    refused.SetEcho(false);
    refused.SetCallback(&RecordCallback);
    EXPECT_EQ(0, refused.Open(longName.c_str()));
    g_callbackCalls = 0;
    refused.Print(3, "still reaches the callback\n");
    EXPECT_EQ(1, g_callbackCalls.load());
    EXPECT_EQ("", RunCommand("ls '" + dir.Path() + "' | grep nnnn"));

    OS_Log unwritable;
    unwritable.SetEcho(false);
    EXPECT_EQ(0, unwritable.Open((dir.Path() + "/missing/folder/log.txt").c_str()));
    EXPECT_EQ(0, unwritable.Print(1, "no file, no crash\n"));
}

TEST(OS_Log, RotatesToBackupPast4MiB) {
    TempDir dir;
    std::string path = dir.File("vidloom.log.txt");
    OS_Log log;
    log.SetEcho(false);
    ASSERT_EQ(0, log.Open(path.c_str()));
    std::string chunk(400, 'r');
    // Each message is 27 bytes of prefix plus 401: the 9800th passes 4 MiB.
    int messages = 0;
    while (ReadFileText(path + ".bak").empty() && messages < 20000) {
        log.Print(3, "%s\n", chunk.c_str());
        ++messages;
    }
    std::string backup = ReadFileText(path + ".bak");
    ASSERT_GT(backup.size(), (size_t)OS_Log::ROTATE_BYTES);
    EXPECT_LT(backup.size(), (size_t)OS_Log::ROTATE_BYTES + 500);
    EXPECT_EQ('\n', backup.back()) << "the message that crossed the limit is whole in the backup";
    EXPECT_EQ("", ReadFileText(path));
    log.Print(3, "after rotation\n");
    EXPECT_NE(std::string::npos, ReadFileText(path).find("after rotation"));
}

TEST(OS_Log, ManyThreadsNeverInterleaveInsideTheFile) {
    TempDir dir;
    std::string path = dir.File("log.txt");
    OS_Log log;
    log.SetEcho(false);
    ASSERT_EQ(0, log.Open(path.c_str()));

    const int kThreads = 10, kLines = 10000;
    struct Writer : OS_Thread {
        OS_Log* log = nullptr;
        int id = 0;
        int Run() override {
            for (int i = 0; i < kLines; ++i)
                log->Print(3, "thread %d line %d %s\n", id, i, "padding-padding-padding-padding");
            return 0;
        }
    };
    std::vector<Writer> writers(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        writers[t].log = &log;
        writers[t].id = t;
        ASSERT_EQ(0, writers[t].Start());
    }
    for (Writer& w : writers)
        w.Join();

    // 100,000 lines of about 90 bytes: the file rotated at least twice, so
    // only the last two files' worth survives. Every surviving line is whole.
    std::string all = ReadFileText(path + ".bak") + ReadFileText(path);
    std::regex whole(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[INF\]  thread (\d) line (\d+) padding-padding-padding-padding)");
    std::vector<std::string> lines = Lines(all);
    ASSERT_GT(lines.size(), 40000u);
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, whole)) << "broken line: " << line;
        EXPECT_TRUE(seen.insert({std::stoi(m[1]), std::stoi(m[2])}).second) << "duplicate: " << line;
    }
}
