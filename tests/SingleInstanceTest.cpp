// The single-instance guard refuses a second copy while the first runs and
// recovers from a first copy that was killed without cleaning up.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "app/SingleInstance.h"
#include "tests/support/ChildProcess.h"

namespace {

// A unique key, so a vidloom running on this machine is not disturbed.
std::string TestKey(const char* name) {
    return std::string("vidloom.test.") + name + "." + std::to_string(getpid());
}

// Starts another copy of this program that takes the guard and says
// "owner" or "refused"; it keeps running until its input ends or it is killed.
std::string StartCopy(ChildProcess& copy, const std::string& key) {
    if (copy.Start({"--hold-guard", key}) != 0)
        return "not started";
    return copy.ReadLine();
}

}  // namespace

TEST(SingleInstance, RunningCopyRefusesKilledCopyIsCleared) {
    std::string key = TestKey("kill");
    ChildProcess first;
    ASSERT_EQ("owner", StartCopy(first, key));

    // while the first copy runs, this one is refused, also when asking again
    EXPECT_EQ(-1, AcquireSingleInstance(key.c_str()));
    EXPECT_EQ(-1, AcquireSingleInstance(key.c_str()));

    // kill -9 leaves the shared memory segment behind: the next start clears it
    EXPECT_EQ(128 + SIGKILL, first.Kill(SIGKILL));
    EXPECT_EQ(0, AcquireSingleInstance(key.c_str()));
    EXPECT_EQ(0, AcquireSingleInstance(key.c_str())) << "asking again while owning it";

    // now this process is the running copy that others must respect
    ChildProcess second;
    EXPECT_EQ("refused", StartCopy(second, key));
    EXPECT_EQ(128 + SIGKILL, second.Kill(SIGKILL));
    ChildProcess third;
    EXPECT_EQ("refused", StartCopy(third, key)) << "a refused copy must not clear the owner's guard";
}

TEST(SingleInstance, CopyThatEndedNormallyLeavesNothing) {
    std::string key = TestKey("exit");
    ChildProcess first;
    ASSERT_EQ("owner", StartCopy(first, key));
    first.CloseInput();
    EXPECT_EQ(0, first.Wait());
    ChildProcess next;
    EXPECT_EQ("owner", StartCopy(next, key));
    next.CloseInput();
    EXPECT_EQ(0, next.Wait());
}

int main(int argc, char** argv) {
    // child mode: take the guard, say so, hold it until the input ends
    if (argc == 3 && std::string(argv[1]) == "--hold-guard") {
        printf("%s\n", AcquireSingleInstance(argv[2]) == 0 ? "owner" : "refused");
        fflush(stdout);
        WaitForEndOfInput();
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
