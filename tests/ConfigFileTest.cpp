// The settings file: lookups, edits in place, and files that must not be lost.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "app/ConfigFile.h"
#include "tests/support/TestEnv.h"

namespace {

const uint32_t kCapacity = ConfigFile::DEFAULT_CAPACITY;

class ConfigFileTest : public testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("default.cfg");
};

}  // namespace

TEST_F(ConfigFileTest, ReadsTrimmedValuesAndIntegers) {
    WriteFileText(path, "name=  some value\t\r\n"
                        "camera.reverse=  1 \n"
                        "bad=abc\n"
                        "lead=42xyz\n"
                        "spaced key = 7\n"
                        "noequals 3\n"
                        "empty=\n"
                        "last=9");  // no final line feed
    ConfigFile cfg;
    ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
    std::string value = "untouched";
    EXPECT_TRUE(cfg.GetString("name", value));
    EXPECT_EQ("some value", value);
    EXPECT_EQ(1, cfg.GetInt("camera.reverse", 0));
    EXPECT_EQ(-5, cfg.GetInt("bad", -5));
    EXPECT_EQ(42, cfg.GetInt("lead", 0));
    EXPECT_EQ(7, cfg.GetInt("spaced key", 0));
    EXPECT_EQ(9, cfg.GetInt("last", 0));
    EXPECT_TRUE(cfg.GetString("empty", value));
    EXPECT_EQ("", value);

    value = "untouched";
    EXPECT_FALSE(cfg.GetString("noequals", value)) << "a key line without '=' is absent";
    EXPECT_FALSE(cfg.GetString("missing", value));
    EXPECT_FALSE(cfg.GetString("ame", value)) << "keys match at line starts only";
    EXPECT_EQ("untouched", value);
    EXPECT_EQ(3, cfg.GetInt("missing", 3));
    EXPECT_EQ('\n', cfg.Text()[cfg.Length() - 1]);
}

TEST_F(ConfigFileTest, KeysThatArePrefixesOfOtherKeys) {
    WriteFileText(path, "camera.reverse2=5\ncamera=3\ncamera.reverse=1\n");
    {
        ConfigFile cfg;
        ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
        EXPECT_EQ(1, cfg.GetInt("camera.reverse", 0));
        EXPECT_EQ(3, cfg.GetInt("camera", 0));
        EXPECT_EQ(5, cfg.GetInt("camera.reverse2", 0));
        cfg.SetInt("camera.reverse", 0);
    }
    EXPECT_EQ("camera.reverse2=5\ncamera=3\ncamera.reverse=0\n", ReadFileText(path));
}

TEST_F(ConfigFileTest, EditsReplaceOneLineOrAppend) {
    WriteFileText(path, "a=1\r\ncamera.reverse=1\nz=last");
    {
        ConfigFile cfg;
        ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
        EXPECT_TRUE(cfg.SetInt("camera.reverse", 0));
        EXPECT_TRUE(cfg.IsDirty());
    }
    EXPECT_EQ("a=1\r\ncamera.reverse=0\nz=last\n", ReadFileText(path))
        << "other bytes unchanged; a final line feed is added";

    {
        ConfigFile cfg;
        ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
        EXPECT_TRUE(cfg.SetString("camera.reverse", "a much longer value than before"));
        EXPECT_TRUE(cfg.SetString("new.key", "v"));
    }
    EXPECT_EQ("a=1\r\ncamera.reverse=a much longer value than before\nz=last\nnew.key=v\n",
              ReadFileText(path));

    {
        ConfigFile cfg;
        ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
        EXPECT_TRUE(cfg.SetString("camera.reverse", ""));
        std::string value = "x";
        EXPECT_TRUE(cfg.GetString("camera.reverse", value));
        EXPECT_EQ("", value);
        EXPECT_EQ(1, cfg.GetInt("a", 0)) << "CR before the line feed is trimmed";
    }
    EXPECT_EQ("a=1\r\ncamera.reverse=\nz=last\nnew.key=v\n", ReadFileText(path));
}

TEST_F(ConfigFileTest, UnchangedFileIsNotRewritten) {
    WriteFileText(path, "camera.reverse=1");
    {
        ConfigFile cfg;
        ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
        EXPECT_EQ(1, cfg.GetInt("camera.reverse", 0));
    }
    EXPECT_EQ("camera.reverse=1", ReadFileText(path));
}

TEST_F(ConfigFileTest, MissingOrEmptyFile) {
    ConfigFile missing;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(missing.Load(path.c_str(), kCapacity));
    EXPECT_EQ("error in opening file!\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, missing.GetInt("camera.reverse", 0));
    missing.Close();
    EXPECT_FALSE(missing.Save() && false);
    EXPECT_EQ("", ReadFileText(path)) << "the system never creates the file";
    struct stat st;
    EXPECT_NE(0, stat(path.c_str(), &st));

    WriteFileText(path, "");
    ConfigFile empty;
    ASSERT_TRUE(empty.Load(path.c_str(), kCapacity));
    std::string value;
    EXPECT_FALSE(empty.GetString("camera.reverse", value));
    EXPECT_FALSE(empty.GetString("", value));
    EXPECT_EQ(0u, empty.Length());
}

TEST_F(ConfigFileTest, FilesThatDoNotFitAreNotLoadedNorLost) {
    std::string big(kCapacity, 'x');
    big[100] = '\n';
    WriteFileText(path, big);
    {
        ConfigFile cfg;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(cfg.Load(path.c_str(), kCapacity));
        testing::internal::GetCapturedStdout();
        EXPECT_FALSE(cfg.SetInt("camera.reverse", 1));
    }
    EXPECT_EQ(big, ReadFileText(path)) << "never written back cut short";

    // Exactly one byte below capacity with its line feed: fits.
    std::string fits(kCapacity - 2, 'y');
    fits += '\n';
    WriteFileText(path, fits);
    ConfigFile cfg;
    ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
    EXPECT_FALSE(cfg.SetInt("camera.reverse", 1)) << "an edit that does not fit is refused";
    EXPECT_FALSE(cfg.IsDirty());
    cfg.Close();
    EXPECT_EQ(fits, ReadFileText(path));
}

TEST_F(ConfigFileTest, EditsAtTheCapacityEdge) {
    // 20 bytes of capacity: room for 19 characters of text.
    WriteFileText(path, "k=1\n");
    ConfigFile cfg;
    ASSERT_TRUE(cfg.Load(path.c_str(), 20));
    EXPECT_TRUE(cfg.SetString("k", "12345678901234"));   // "k=12345678901234\n" = 17
    EXPECT_TRUE(cfg.SetString("k", "1234567890123456"));  // 19: still fits
    EXPECT_FALSE(cfg.SetString("k", "12345678901234567"));
    EXPECT_FALSE(cfg.SetString("other", "1"));
    EXPECT_EQ(std::string("k=1234567890123456\n"), cfg.Text());
    EXPECT_TRUE(cfg.SetString("k", ""));
    EXPECT_TRUE(cfg.SetString("ab", "cdefghijkl"));
    EXPECT_EQ(std::string("k=\nab=cdefghijkl\n"), cfg.Text());

    // key and value together longer than one edit line: cut, never overflow.
    ConfigFile wide;
    WriteFileText(path, "");
    ASSERT_TRUE(wide.Load(path.c_str(), kCapacity));
    std::string longValue(1000, 'v');
    EXPECT_TRUE(wide.SetString("k", longValue.c_str()));
    EXPECT_EQ((uint32_t)ConfigFile::MAX_LINE + 1, wide.Length());
    EXPECT_FALSE(wide.SetString("k", "two\nlines")) << "a value with a line feed would add an entry";
}

TEST_F(ConfigFileTest, BinaryContentSurvivesAnEdit) {
    std::string binary("a=1\n", 4);
    binary += std::string("\x00\x01\xff\xfe garbage\n", 13);
    binary += "camera.reverse=1\n";
    WriteFileText(path, binary);
    {
        ConfigFile cfg;
        ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
        EXPECT_EQ(1, cfg.GetInt("camera.reverse", 0));
        cfg.SetInt("camera.reverse", 0);
    }
    std::string expected = binary;
    expected[expected.size() - 2] = '0';
    EXPECT_EQ(expected, ReadFileText(path));
}

TEST_F(ConfigFileTest, UnwritableFileKeepsTheChangeUnsaved) {
    WriteFileText(path, "camera.reverse=1\n");
    ConfigFile cfg;
    ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
    cfg.SetInt("camera.reverse", 0);
    // The file's place is taken by a folder: the write cannot land.
    remove(path.c_str());
    ASSERT_EQ(0, mkdir(path.c_str(), 0700));
    EXPECT_FALSE(cfg.Save());
    EXPECT_TRUE(cfg.IsDirty());
    EXPECT_EQ("default.cfg\n", RunCommand("ls '" + dir.Path() + "'")) << "no temporary file left";
    rmdir(path.c_str());
}

TEST_F(ConfigFileTest, SaveReplacesTheFileWhole) {
    // The new content is written beside the file and renamed over it: no
    // temporary file is left, and a reader never sees half a file.
    WriteFileText(path, "camera.reverse=1\n");
    {
        ConfigFile cfg;
        ASSERT_TRUE(cfg.Load(path.c_str(), kCapacity));
        cfg.SetInt("camera.reverse", 0);
        struct stat before;
        stat(path.c_str(), &before);
        ASSERT_TRUE(cfg.Save());
        struct stat after;
        stat(path.c_str(), &after);
        EXPECT_NE(before.st_ino, after.st_ino) << "replaced by rename, not rewritten in place";
    }
    EXPECT_EQ("camera.reverse=0\n", ReadFileText(path));
    EXPECT_EQ("default.cfg\n", RunCommand("ls '" + dir.Path() + "'"));
}
