// System-wide hot keys under the private X server, pressed with xdotool.
#include <gtest/gtest.h>

#include <QKeySequence>
#include <memory>
#include <regex>
#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/GuiTestApp.h"
#include "tests/support/TestEnv.h"
#include "ui/GlobalShortcut.h"

namespace {

// A shortcut and the number of its activations.
struct Key {
    explicit Key(const char* sequence) : shortcut(QKeySequence(sequence)) {
        QObject::connect(&shortcut, &GlobalShortcut::activated, [this] { ++count; });
    }
    GlobalShortcut shortcut;
    int count = 0;
};

// Presses keys (xdotool names) until key has count activations, then 200 ms more to see an extra one.
// Keys that must not activate go first: the server delivers in order.
void Press(const std::string& keys, const Key& key, int count) {
    RunCommand("xdotool key " + keys);
    ProcessEventsUntil([&] { return key.count >= count; });
    ProcessEventsFor(200);
}

// State of a keyboard lock ("Num Lock", "Caps Lock") as xset reports it.
bool LockOn(const std::string& name) { return std::regex_search(RunCommand("xset q"), std::regex(name + ":\\s+on ")); }

}  // namespace

TEST(GlobalShortcut, ItsKeyActivatesItOnceOthersModifiersLockKeysAndOtherProgramsNot) {
    REQUIRE_DISPLAY();
    GuiTestApp();
    Key f3("F3"), ctrlShiftF5("Ctrl+Shift+F5");
    ASSERT_TRUE(f3.shortcut.isValid());
    Press("F2 a ctrl+F3 F3", f3, 1);
    EXPECT_EQ(1, f3.count) << "keys that are not grabbed, or have another modifier, do nothing";
    Press("F5 ctrl+F5 shift+F5 ctrl+shift+F5", ctrlShiftF5, 1);
    EXPECT_EQ(1, ctrlShiftF5.count);
    EXPECT_EQ(1, f3.count);

    EXPECT_FALSE(GlobalShortcut(QKeySequence()).isValid());
    EXPECT_FALSE(GlobalShortcut(QKeySequence(Qt::Key_Launch0)).isValid()) << "no such X key";
    // Num Lock, then both, then Caps Lock alone do not disable it.
    int presses = f3.count;
    for (const char* toggle : {"Num_Lock", "Caps_Lock", "Num_Lock", "Caps_Lock"}) {
        ASSERT_TRUE(presses != 3 || (LockOn("Num Lock") && LockOn("Caps Lock"))) << RunCommand("xset q");
        RunCommand(std::string("xdotool key ") + toggle);
        Press("F3", f3, ++presses);
        EXPECT_EQ(presses, f3.count) << "after " << presses - 1 << " lock keys";
    }
    EXPECT_FALSE(LockOn("Caps Lock") || LockOn("Num Lock"));
    // A key held by another program (a second copy of this one, --hold-key: "ready" or "taken") fails
    // gracefully; grabs are released.
    {
        ChildProcess other;
        ASSERT_EQ("ready", other.StartAndReadLine({"--hold-key", "F6"}));
        Key f6("F6"), f8("F8");
        EXPECT_FALSE(f6.shortcut.isValid()) << "the other program holds F6";
        Press("F6 F8", f8, 1);
        EXPECT_EQ(1, f8.count) << "the other keys still work";
        EXPECT_EQ(0, f6.count);
        EXPECT_EQ(0, other.Stop());
    }
    EXPECT_TRUE(GlobalShortcut(QKeySequence("F6")).isValid()) << "the other program's grab ended with it";

    auto f7 = std::make_unique<GlobalShortcut>(QKeySequence("F7"));
    ASSERT_TRUE(f7->isValid());
    ChildProcess whileHeld, after;
    EXPECT_EQ("taken", whileHeld.StartAndReadLine({"--hold-key", "F7"}));
    f7.reset();
    EXPECT_EQ("ready", after.StartAndReadLine({"--hold-key", "F7"})) << "the destructor releases the key";
}

int main(int argc, char** argv) {
    // child mode: another X client that grabs a key until its input ends
    if (argc == 3 && std::string(argv[1]) == "--hold-key") {
        GuiTestApp();
        GlobalShortcut key{QKeySequence(QString::fromUtf8(argv[2]))};
        return SayAndWaitForEndOfInput(key.isValid() ? "ready" : "taken");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
