// System-wide hot keys under the private X server, pressed with xdotool.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeySequence>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestApp.h"
#include "tests/support/TestEnv.h"
#include "ui/GlobalShortcut.h"

namespace {

QApplication* App() {
    return TestApplication("xcb");
}

// Counts the activations of one shortcut.
struct Counter {
    explicit Counter(GlobalShortcut& key) {
        QObject::connect(&key, &GlobalShortcut::activated, [this] { ++count; });
    }
    int count = 0;
};

// Presses keys (xdotool names) and processes events until counter reaches
// want, or 5 s pass; then a little longer, so that an extra activation
// would be seen as well. Keys that must not activate go first in the list:
// the server delivers in order, so their activation would arrive before.
void Press(const std::string& keys, const Counter& counter, int want) {
    RunCommand("xdotool key " + keys);
    QElapsedTimer timer;
    timer.start();
    while (counter.count < want && timer.elapsed() < 5000)
        App()->processEvents(QEventLoop::AllEvents, 20);
    timer.restart();
    while (timer.elapsed() < 200)
        App()->processEvents(QEventLoop::AllEvents, 20);
}

// State of a keyboard lock ("Num Lock", "Caps Lock") as xset reports it.
bool LockOn(const char* name) {
    std::string state = RunCommand("xset q");
    size_t at = state.find(std::string(name) + ":");
    if (at == std::string::npos)
        return false;
    at = state.find_first_not_of(' ', at + strlen(name) + 1);
    return at != std::string::npos && state.compare(at, 3, "on ") == 0;
}

// Another X client (a second copy of this program) that tries to grab key;
// its answer is "ready" or "taken".
std::string StartHolder(ChildProcess& holder, const char* key) {
    if (holder.Start({"--hold-key", key}) != 0)
        return "not started";
    return holder.ReadLine();
}

}  // namespace

TEST(GlobalShortcut, PressActivatesOnceOtherKeysNot) {
    REQUIRE_DISPLAY();
    App();
    GlobalShortcut f3(QKeySequence("F3"));
    ASSERT_TRUE(f3.isValid());
    EXPECT_EQ(QKeySequence("F3"), f3.shortcut());
    Counter counter(f3);

    Press("F2 a F3", counter, 1);
    EXPECT_EQ(1, counter.count) << "keys that are not grabbed do nothing";
    Press("ctrl+F3 F3", counter, 2);
    EXPECT_EQ(2, counter.count) << "F3 with a modifier is another key";
}

TEST(GlobalShortcut, LockKeysDoNotDisableIt) {
    REQUIRE_DISPLAY();
    App();
    GlobalShortcut f3(QKeySequence("F3"));
    ASSERT_TRUE(f3.isValid());
    Counter counter(f3);

    RunCommand("xdotool key Num_Lock");
    ASSERT_TRUE(LockOn("Num Lock")) << RunCommand("xset q");
    Press("F3", counter, 1);
    EXPECT_EQ(1, counter.count) << "NumLock on";

    RunCommand("xdotool key Caps_Lock");
    ASSERT_TRUE(LockOn("Caps Lock")) << RunCommand("xset q");
    Press("F3", counter, 2);
    EXPECT_EQ(2, counter.count) << "NumLock and CapsLock on";

    RunCommand("xdotool key Num_Lock");
    Press("F3", counter, 3);
    EXPECT_EQ(3, counter.count) << "CapsLock on";
    RunCommand("xdotool key Caps_Lock");
    EXPECT_FALSE(LockOn("Caps Lock"));
    EXPECT_FALSE(LockOn("Num Lock"));
}

TEST(GlobalShortcut, ModifiersAreMatched) {
    REQUIRE_DISPLAY();
    App();
    GlobalShortcut key(QKeySequence("Ctrl+Shift+F5"));
    ASSERT_TRUE(key.isValid());
    Counter counter(key);
    Press("F5 ctrl+F5 shift+F5 ctrl+shift+F5", counter, 1);
    EXPECT_EQ(1, counter.count);
}

TEST(GlobalShortcut, KeyHeldByAnotherProgramIsNotFatal) {
    REQUIRE_DISPLAY();
    App();
    {
        ChildProcess other;
        ASSERT_EQ("ready", StartHolder(other, "F6"));
        GlobalShortcut f6(QKeySequence("F6"));
        EXPECT_FALSE(f6.isValid()) << "the other program holds F6";
        Counter counter(f6);
        GlobalShortcut f8(QKeySequence("F8"));
        Counter f8Counter(f8);
        Press("F6 F8", f8Counter, 1);
        EXPECT_EQ(1, f8Counter.count) << "the other keys still work";
        EXPECT_EQ(0, counter.count);
        other.CloseInput();
        EXPECT_EQ(0, other.Wait());
    }
    // the other program has ended, and with it its grab
    GlobalShortcut f6(QKeySequence("F6"));
    EXPECT_TRUE(f6.isValid());
}

TEST(GlobalShortcut, DestructorReleasesTheKey) {
    REQUIRE_DISPLAY();
    App();
    auto f7 = std::make_unique<GlobalShortcut>(QKeySequence("F7"));
    ASSERT_TRUE(f7->isValid());
    ChildProcess while_held;
    EXPECT_EQ("taken", StartHolder(while_held, "F7"));
    while_held.CloseInput();
    EXPECT_EQ(0, while_held.Wait());

    f7.reset();
    ChildProcess after;
    EXPECT_EQ("ready", StartHolder(after, "F7"));
    after.CloseInput();
    EXPECT_EQ(0, after.Wait());
}

TEST(GlobalShortcut, UnsupportedKeyIsInvalid) {
    REQUIRE_DISPLAY();
    App();
    GlobalShortcut none{QKeySequence()};
    EXPECT_FALSE(none.isValid());
    GlobalShortcut odd(QKeySequence(Qt::Key_Launch0));
    EXPECT_FALSE(odd.isValid());
}

int main(int argc, char** argv) {
    // child mode: another X client that grabs a key until its input ends
    if (argc == 3 && std::string(argv[1]) == "--hold-key") {
        App();
        GlobalShortcut key{QKeySequence(QString::fromUtf8(argv[2]))};
        printf("%s\n", key.isValid() ? "ready" : "taken");
        fflush(stdout);
        WaitForEndOfInput();
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
