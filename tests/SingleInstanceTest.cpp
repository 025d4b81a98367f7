// The single-instance guard refuses a second copy and recovers from a killed first copy. The other
// copies are this program with --hold-guard: it says "owner" or "refused" and runs until its input ends.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>

#include "app/SingleInstance.h"
#include "tests/support/ChildProcess.h"

namespace {

// A key of its own, so a vidloom running on this machine is not disturbed.
std::string TestKey(const char* name) {
    return std::string("vidloom.test.") + name + "." + std::to_string(getpid());
}

}  // namespace

TEST(SingleInstance, RunningCopyRefusesKilledCopyIsClearedAndEndedCopyLeavesNothing) {
    std::string key = TestKey("kill");
    ChildProcess first, second, third;
    ASSERT_EQ("owner", first.StartAndReadLine({"--hold-guard", key}));
    EXPECT_EQ(-1, AcquireSingleInstance(key.c_str()));
    // kill -9 leaves the shared memory segment behind: the next start clears it
    EXPECT_EQ(128 + SIGKILL, first.Kill(SIGKILL));
    EXPECT_EQ(0, AcquireSingleInstance(key.c_str()));
    EXPECT_EQ(0, AcquireSingleInstance(key.c_str())) << "asking again while owning it";
    // now this process is the running copy that others must respect
    EXPECT_EQ("refused", second.StartAndReadLine({"--hold-guard", key}));
    EXPECT_EQ(128 + SIGKILL, second.Kill(SIGKILL));
    EXPECT_EQ("refused", third.StartAndReadLine({"--hold-guard", key}))
        << "a refused copy must not clear the owner's guard";
    // a copy that ended normally leaves nothing behind
    for (int copy = 0; copy < 2; ++copy) {
        ChildProcess child;
        EXPECT_EQ("owner", child.StartAndReadLine({"--hold-guard", TestKey("exit")})) << copy;
        EXPECT_EQ(0, child.Stop());
    }
}

int main(int argc, char** argv) {
    // child mode: take the guard, say so, hold it until the input ends
    if (argc == 3 && std::string(argv[1]) == "--hold-guard") {
        return SayAndWaitForEndOfInput(AcquireSingleInstance(argv[2]) == 0 ? "owner" : "refused");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
