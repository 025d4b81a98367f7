// 8-bit text conversions and the style sheet loader.
#include <gtest/gtest.h>

#include <QString>
#include <clocale>
#include <string>

#include "tests/support/TestEnv.h"
#include "ui/TextCodec.h"

TEST(TextCodec, Utf8RoundTripsEvenUnderTheCLocaleAndStyleSheetsAreGb2312) {
    setenv("LC_ALL", "C", 1);
    setlocale(LC_ALL, "C");
    InitTextCodec();
    // A file name built from a Chinese prefix and a stamp.
    std::string name = "output/\xE5\xB1\x8F\xE5\xB9\x95\xE5\xBD\x95\xE5\x83\x8F-20150308140509.mp4";
    QString text = ToQString(name.c_str());
    EXPECT_EQ(QString::fromUtf8(name.c_str()), text);
    EXPECT_EQ(text, ToQString(name));
    EXPECT_EQ(name, ToGbString(text));
    EXPECT_TRUE(ToQString(static_cast<const char*>(nullptr)).isEmpty());
    // the style sheet is read as GB2312 ("录像" here)
    TempDir dir;
    WriteFileText(dir.File("test.skin"), "/* \xC2\xBC\xCF\xF1 */\nQToolButton#btnStart { color: red; }\n");
    QString sheet = LoadStyleSheet(dir.File("test.skin").c_str());
    EXPECT_EQ(sheet, QString::fromUtf8("/* \xE5\xBD\x95\xE5\x83\x8F */\nQToolButton#btnStart { color: red; }\n"));

    WriteFileText(dir.File("empty.skin"), "");
    for (std::string missing : {dir.File("missing.skin"), dir.File("empty.skin"), dir.Path()})
        EXPECT_TRUE(LoadStyleSheet(missing.c_str()).isEmpty()) << missing;
    EXPECT_TRUE(LoadStyleSheet(nullptr).isEmpty());
}
