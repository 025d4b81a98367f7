// The settings file: lookups, edits in place, and files that must not be lost.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "app/ConfigFile.h"
#include "app/RecordingSettings.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

namespace {

const uint32_t kCapacity = ConfigFile::DEFAULT_CAPACITY;

class ConfigFileTest : public testing::Test {
protected:
    // Writes before, loads it, runs edit, lets the object go (which saves) and returns the file.
    template <class Edit>
    std::string AfterEdit(const std::string& before, Edit edit, uint32_t capacity = kCapacity) {
        WriteFileText(path, before);
        {
            ConfigFile cfg;
            cfg.Load(path.c_str(), capacity);
            edit(cfg);
        }
        return ReadFileText(path);
    }
    std::string Listing() { return RunCommand("ls '" + dir.Path() + "'"); }

    TempDir dir;
    std::string path = dir.File("default.cfg");
};

}  // namespace

TEST_F(ConfigFileTest, ReadsTrimmedValuesAndKeysThatArePrefixesOfOthers) {
    WriteFileText(path, "name=  some value\t\r\ncamera.reverse2=5\ncamera=3\ncamera.reverse=  1 \nbad=abc\n"
                        "lead=42xyz\nspaced key = 7\nnoequals 3\nempty=\nlast=9");  // no final line feed
    ConfigFile cfg;
    ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
    std::string value = "untouched";
    EXPECT_TRUE(cfg.GetString("name", value));
    EXPECT_EQ("some value", value);
    EXPECT_TRUE(cfg.GetString("empty", value));
    EXPECT_EQ("", value);
    struct { const char* key; int value; } ints[] = {{"camera.reverse", 1}, {"camera", 3}, {"camera.reverse2", 5},
                                                     {"bad", -5}, {"lead", 42}, {"spaced key", 7},
                                                     {"last", 9}, {"missing", -5}};
    for (const auto& i : ints)
        EXPECT_EQ(i.value, cfg.GetInt(i.key, -5)) << i.key;
    value = "untouched";
    for (const char* absent : {"noequals", "missing", "ame", ""})  // keys match at line starts only
        EXPECT_FALSE(cfg.GetString(absent, value)) << absent;
    EXPECT_EQ("untouched", value);
}

TEST_F(ConfigFileTest, EditsChangeOnlyTheirLine) {
    auto setReverse = [](const char* v) {
        return [v](ConfigFile& c) { EXPECT_TRUE(c.SetString("camera.reverse", v)); };
    };
    EXPECT_EQ("camera.reverse2=5\ncamera=3\ncamera.reverse=0\n",
              AfterEdit("camera.reverse2=5\ncamera=3\ncamera.reverse=1\n",
                        [](ConfigFile& c) { EXPECT_TRUE(c.SetInt("camera.reverse", 0)); }));
    EXPECT_EQ("a=1\r\ncamera.reverse=0\nz=last\n", AfterEdit("a=1\r\ncamera.reverse=1\nz=last", setReverse("0")))
        << "other bytes unchanged; a final line feed is added";
    EXPECT_EQ("a=1\ncamera.reverse=\nz=last\n", AfterEdit("a=1\ncamera.reverse=long value\nz=last\n", setReverse("")));
    EXPECT_EQ("a=1\ncamera.reverse=a much longer value\nnew.key=v\n",
              AfterEdit("a=1\ncamera.reverse=0\n", [](ConfigFile& c) {
                  EXPECT_TRUE(c.SetString("camera.reverse", "a much longer value"));
                  EXPECT_TRUE(c.SetString("new.key", "v"));
              }));
    EXPECT_EQ("k=v\n", AfterEdit("", [](ConfigFile& c) { EXPECT_TRUE(c.SetString("k", "v")); })) << "empty file";

    std::string binary = std::string("a=1\n\x00\x01\xff\xfe garbage\n", 17) + "camera.reverse=1\n";
    std::string expected = binary;
    expected[expected.size() - 2] = '0';
    EXPECT_EQ(expected, AfterEdit(binary, setReverse("0"))) << "binary content survives";

    EXPECT_EQ("camera.reverse=1", AfterEdit("camera.reverse=1", [](ConfigFile& c) { EXPECT_FALSE(c.IsDirty()); }))
        << "an unchanged file is not rewritten";
}

TEST_F(ConfigFileTest, FilesAndEditsThatDoNotFitLoseNothing) {
    auto refused = [](ConfigFile& c) { EXPECT_FALSE(c.SetInt("camera.reverse", 1)); };
    std::string big(kCapacity, 'x');
    big[100] = '\n';
    EXPECT_EQ(big, AfterEdit(big, refused)) << "never written back cut short";
    // One byte below capacity with its line feed: loaded, but no room to edit.
    std::string fits(kCapacity - 2, 'y');
    fits += '\n';
    EXPECT_EQ(fits, AfterEdit(fits, [&](ConfigFile& c) {
                  EXPECT_EQ(kCapacity - 1, c.Length());
                  refused(c);
              }));

    // 20 bytes of capacity: room for 19 characters of text.
    EXPECT_EQ("k=\nab=cdefghijkl\n", AfterEdit("k=1\n", [](ConfigFile& c) {
                  EXPECT_TRUE(c.SetString("k", "1234567890123456"));
                  EXPECT_FALSE(c.SetString("k", "12345678901234567"));
                  EXPECT_FALSE(c.SetString("other", "1"));
                  EXPECT_EQ(std::string("k=1234567890123456\n"), c.Text());
                  EXPECT_TRUE(c.SetString("k", ""));
                  EXPECT_TRUE(c.SetString("ab", "cdefghijkl"));
              }, 20));

    // Key and value longer than one edit line: cut, never overflowed.
    EXPECT_EQ("k=" + std::string(ConfigFile::MAX_LINE - 2, 'v') + "\n", AfterEdit("", [](ConfigFile& c) {
                  EXPECT_TRUE(c.SetString("k", std::string(1000, 'v').c_str()));
                  EXPECT_FALSE(c.SetString("k", "two\nlines")) << "a line feed would add an entry";
              }));
}

TEST_F(ConfigFileTest, MissingFileIsNeverCreatedAndSaveReplacesTheFileWholeOrKeepsTheChange) {
    ConfigFile missing;
    LogCapture log;
    EXPECT_FALSE(missing.Load(path.c_str(), kCapacity));
    EXPECT_TRUE(log.Contains("error in opening file!\n"));
    EXPECT_EQ(7, missing.GetInt("camera.reverse", 7));
    EXPECT_FALSE(missing.SetInt("camera.reverse", 1));
    missing.Close();
    EXPECT_EQ("", Listing());

    WriteFileText(path, "camera.reverse=1\n");
    ConfigFile cfg;
    ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
    cfg.SetInt("camera.reverse", 0);
    struct stat before, after;
    stat(path.c_str(), &before);
    ASSERT_TRUE(cfg.Save());
    stat(path.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino) << "renamed over the file: a reader never sees half of it";
    EXPECT_EQ("camera.reverse=0\n", ReadFileText(path));
    EXPECT_EQ("default.cfg\n", Listing()) << "no temporary file left";

    // The file's place taken by a folder: the write cannot land.
    cfg.SetInt("camera.reverse", 1);
    remove(path.c_str());
    ASSERT_EQ(0, mkdir(path.c_str(), 0700));
    EXPECT_FALSE(cfg.Save());
    EXPECT_TRUE(cfg.IsDirty());
    EXPECT_EQ("default.cfg\n", Listing()) << "no temporary file left";
    rmdir(path.c_str());
}

// The recording options: the defaults without entries, every offered value, and a value not offered
// logged and replaced by its default; saving keeps the file's other lines.
TEST_F(ConfigFileTest, RecordingSettingsTakeOfferedValuesAndFallBackOnOthers) {
    RecordingSettings settings;
    auto read = [&](const std::string& text) {
        WriteFileText(path, text);
        EXPECT_EQ(0, settings.Load(path.c_str()));
        return std::to_string(settings.codec) + " " + std::to_string(settings.fps) + " " +
               std::to_string(settings.sampleRate) + " '" + settings.outputFolder + "'";
    };
    EXPECT_EQ("0 25 11025 ''", read("camera.reverse=1\n"));
    EXPECT_EQ("1 60 48000 '/tmp/my videos'",
              read("video.codec=h264\nvideo.fps=60\naudio.rate=48000\noutput.folder= /tmp/my videos \n"));
    LogCapture log;
    EXPECT_EQ("0 25 11025 ''", read("video.codec=vp9\nvideo.fps=24\naudio.rate=44100x\ncamera.reverse=1\n"));
    for (const char* bad : {"video.codec=vp9", "video.fps=24", "audio.rate=44100x"})
        EXPECT_TRUE(log.Contains(bad)) << log.Text();
    settings.fps = 30;
    settings.codec = 1;
    ASSERT_EQ(0, settings.Save(path.c_str()));
    EXPECT_EQ("video.codec=h264\nvideo.fps=30\naudio.rate=11025\ncamera.reverse=1\noutput.folder=\n",
              ReadFileText(path));
}
