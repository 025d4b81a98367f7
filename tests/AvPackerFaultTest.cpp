// vidloom:sanitize
// The packer when its file cannot be made or the disk fills up: -1 or
// logged failures, and never a leaked thread, descriptor or packet.
#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

#include "media/AvPacker.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/PacketSource.h"
#include "tests/support/TestEnv.h"

namespace {

const uint32_t FOURCC_MJPG = 0x47504A4D;  // 'M','J','P','G' in memory

// A tmpfs mounted on a folder for one test; unmounted at the end.
class MountedTmpfs {
public:
    MountedTmpfs(const std::string& dir, const std::string& options) : m_dir(dir) {
        int status = -1;
        m_output = RunCommand("mount -t tmpfs -o " + options + " vidloom-test '" + dir + "' 2>&1", &status);
        m_mounted = status == 0;
    }
    ~MountedTmpfs() {
        if (m_mounted)
            RunCommand("umount '" + m_dir + "'");
    }
    bool Mounted() const { return m_mounted; }
    const std::string& Output() const { return m_output; }

private:
    std::string m_dir;
    std::string m_output;
    bool m_mounted;
};

// Open must fail with its log line, leave no thread, descriptor or file,
// and still take packets (releasing them) and Close twice.
void ExpectOpenFails(const std::string& path, uint32_t fourcc, const std::vector<std::string>& lines) {
    SCOPED_TRACE(path);
    LogCapture log;
    CountingAllocator memory;
    int fds = CountOpenFds();
    int threads = CountThreads();
    {
        AvPacker packer;
        EXPECT_EQ(-1, packer.Open(path.c_str(), 64, 48, 32, fourcc, 64, 48, 25));
        for (const std::string& line : lines)
            EXPECT_TRUE(log.Contains(line)) << "missing \"" << line << "\" in:\n" << log.Text();
        MMPacket p = PicturePacket(SolidPicture(64, 48, 4, 1, 2, 3), 0, &memory);
        packer.Push(&p);
        packer.Close();
        packer.Close();
    }
    EXPECT_EQ(0, memory.Outstanding());
    EXPECT_EQ(fds, CountOpenFds());
    EXPECT_EQ(threads, CountThreads());
    EXPECT_NE(0, access(path.c_str(), F_OK)) << "no file left behind";
}

}  // namespace

TEST(AvPackerFaults, OpenFailsCleanlyWhenTheFileCannotBeMade) {
    TempDir dir;
    std::string regularFile = dir.File("not-a-folder");
    WriteFileText(regularFile, "x");
    const std::vector<std::string> noFile = {"failed to open ts file to write \n", "failed to create mp4 muxer!"};
    ExpectOpenFails(dir.File("missing/rec.mp4"), 0, noFile);
    // Running as root, a folder's mode does not stop writing; a path below
    // a regular file cannot be created by anyone.
    ExpectOpenFails(regularFile + "/rec.mp4", 0, noFile);
    // A camera format the packer cannot convert: refused before any file is made.
    ExpectOpenFails(dir.File("mjpg.mp4"), FOURCC_MJPG, {"failed to create video frame scaler"});
}

TEST(AvPackerFaults, OpenFailsOnReadOnlyFolder) {
    TempDir dir;
    MountedTmpfs readOnly(dir.Path(), "ro,size=64k");
    if (!readOnly.Mounted())
        GTEST_SKIP() << "cannot mount a read-only tmpfs here (" << readOnly.Output() << ")";
    ExpectOpenFails(dir.File("rec.mp4"), 0, {"failed to open ts file to write \n", "failed to create mp4 muxer!"});
}

TEST(AvPackerFaults, DiskFullIsLoggedAndCloseStillFinishes) {
    TempDir dir;
    MountedTmpfs small(dir.Path(), "size=200k");
    if (!small.Mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << small.Output() << ")";
    LogCapture log;
    CountingAllocator memory;
    int fds = CountOpenFds();
    int threads = CountThreads();
    std::string path = dir.File("full.mp4");
    {
        AvPacker packer;
        ASSERT_EQ(0, packer.Open(path.c_str(), 640, 480, 32, 0, 640, 480, 25));
        // Noise keeps the encoder at its full bit rate: 200 KiB last about a second.
        std::mt19937 random(7);
        std::vector<uint8_t> picture(640 * 480 * 4);
        for (int i = 0; i < 75; ++i) {
            for (uint8_t& b : picture)
                b = (uint8_t)random();
            MMPacket p = PicturePacket(picture, i, &memory);
            AvPacker::Stats before = packer.GetStats();
            packer.Push(&p);
            MMPacket s = SoundPacket(SineBlock(i * 1024, 440), &memory);
            packer.Push(&s);
            ASSERT_TRUE(WaitUntil([&] { return packer.GetStats().picturesEncoded > before.picturesEncoded; }));
        }
        packer.Close();
        EXPECT_EQ(75, packer.GetStats().picturesEncoded) << "every picture was still tried";
    }
    EXPECT_GE(log.Count("failed to write video frame to file!\n"), 1) << log.Text();
    EXPECT_EQ(0, memory.Outstanding());
    EXPECT_EQ(fds, CountOpenFds());
    EXPECT_EQ(threads, CountThreads());
}
