// 8-bit text conversions and the style sheet loader.
#include <gtest/gtest.h>

#include <QString>

#include <clocale>
#include <string>

#include "tests/support/TestEnv.h"
#include "ui/TextCodec.h"

namespace {

// "屏幕录像" in UTF-8, the platform's 8-bit text.
const char SCREEN_RECORDING_UTF8[] = "\xE5\xB1\x8F\xE5\xB9\x95\xE5\xBD\x95\xE5\x83\x8F";
// "录像" in GB2312, the encoding of the style sheet.
const char RECORDING_GB2312[] = "\xC2\xBC\xCF\xF1";

}  // namespace

TEST(TextCodec, Utf8EvenUnderTheCLocale) {
    setenv("LC_ALL", "C", 1);
    setlocale(LC_ALL, "C");
    InitTextCodec();

    QString text = ToQString(SCREEN_RECORDING_UTF8);
    EXPECT_EQ(QString::fromUtf8(SCREEN_RECORDING_UTF8), text);
    EXPECT_EQ(4, text.size());
    EXPECT_EQ(std::string(SCREEN_RECORDING_UTF8), ToGbString(text));
    EXPECT_EQ(text, ToQString(std::string(SCREEN_RECORDING_UTF8)));

    // a file name built from a prefix and a stamp survives the round trip
    std::string name = std::string("output/") + SCREEN_RECORDING_UTF8 + "-20150308140509.mp4";
    EXPECT_EQ(name, ToGbString(ToQString(name)));

    EXPECT_TRUE(ToQString(static_cast<const char*>(nullptr)).isEmpty());
    EXPECT_TRUE(ToQString(std::string()).isEmpty());
    EXPECT_TRUE(ToGbString(QString()).empty());
}

TEST(TextCodec, StyleSheetIsReadAsGb2312) {
    TempDir dir;
    std::string path = dir.File("test.skin");
    WriteFileText(path, std::string("/* ") + RECORDING_GB2312 + " */\nQToolButton#btnStart { color: red; }\n");
    QString sheet = LoadStyleSheet(path.c_str());
    EXPECT_TRUE(sheet.contains(QString::fromUtf8("\xE5\xBD\x95\xE5\x83\x8F"))) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains("QToolButton#btnStart { color: red; }"));

    // absent and empty files give no style sheet
    EXPECT_TRUE(LoadStyleSheet(dir.File("missing.skin").c_str()).isEmpty());
    WriteFileText(dir.File("empty.skin"), "");
    EXPECT_TRUE(LoadStyleSheet(dir.File("empty.skin").c_str()).isEmpty());
    EXPECT_TRUE(LoadStyleSheet(nullptr).isEmpty());
}
