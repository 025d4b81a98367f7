// Records BGRA pictures of moving content (or one still picture) at 25 per
// second plus sound through the real packer, paced like the screen
// recorder, and reports what conversion and encoding cost.
//   PackerBench [seconds [WxH [still.bgra out.mp4]]]   (default 20 s, 1920x1080)
// A still is raw BGRA of the given size (ffmpeg -i x.png -pix_fmt bgra -f
// rawvideo still.bgra); its recording is kept as out.mp4 for comparing
// the picture with the source.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "bench/CpuTime.h"
#include "media/AvPacker.h"
#include "media/MemPool.h"
#include "media/VideoFrameScaler.h"
#include "os/OS_Clock.h"
#include "tests/support/MediaSamples.h"
#include "tests/support/Mp4Probe.h"
#include "tests/support/TestEnv.h"

namespace {

int WIDTH = 1920;
int HEIGHT = 1080;
const int FPS = 25;

// A desktop-like canvas twice the screen's height: coloured panels, lines
// of "text" and gradients, scrolled a few rows every picture.
std::vector<uint8_t> MakeCanvas() {
    std::vector<uint8_t> canvas((size_t)WIDTH * HEIGHT * 2 * 4);
    uint32_t seed = 12345;
    for (int y = 0; y < HEIGHT * 2; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            uint8_t* p = &canvas[((size_t)y * WIDTH + x) * 4];
            int panel = (x / 480) + (y / 270) * 4;
            p[0] = (uint8_t)(panel * 37 + x / 8);
            p[1] = (uint8_t)(panel * 91 + y / 8);
            p[2] = (uint8_t)(panel * 53);
            p[3] = 0;
            // text: short dark strokes on lines 18 rows apart
            seed = seed * 1103515245 + 12345;
            if (y % 18 < 11 && x % 480 > 20 && x % 480 < 440 && (seed >> 16) % 3 == 0)
                p[0] = p[1] = p[2] = 20;
        }
    }
    return canvas;
}

// Picture i: the canvas scrolled by 6 rows per picture, with a box moving across.
void DrawPicture(const std::vector<uint8_t>& canvas, int i, uint8_t* out) {
    size_t rowBytes = (size_t)WIDTH * 4;
    int offset = (i * 6) % HEIGHT;
    memcpy(out, &canvas[offset * rowBytes], HEIGHT * rowBytes);
    int boxX = (i * 13) % (WIDTH - 200), boxY = (i * 7) % (HEIGHT - 200);
    for (int y = boxY; y < boxY + 200; ++y)
        for (int x = boxX; x < boxX + 200; ++x) {
            uint8_t* p = out + y * rowBytes + x * 4;
            p[0] = 250;
            p[1] = (uint8_t)(x + i);
            p[2] = (uint8_t)(y - i);
        }
}

// Conversion alone, for several swscale filter choices.
void CompareConversions(const std::vector<uint8_t>& canvas) {
    std::vector<uint8_t> picture((size_t)WIDTH * HEIGHT * 4);
    DrawPicture(canvas, 0, picture.data());
    struct Choice {
        const char* name;
        int flags;
    } choices[] = {{"bicubic", SWS_BICUBIC}, {"bilinear", SWS_BILINEAR}, {"fast bilinear", SWS_FAST_BILINEAR},
                   {"point", SWS_POINT}};
    printf("conversion alone, 1920x1080 BGRA -> YUV420P, CPU ms per picture:\n");
    for (const Choice& c : choices) {
        SwsContext* sws = sws_getContext(WIDTH, HEIGHT, AV_PIX_FMT_BGRA, WIDTH, HEIGHT, AV_PIX_FMT_YUV420P, c.flags,
                                         nullptr, nullptr, nullptr);
        AVFrame* frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = WIDTH;
        frame->height = HEIGHT;
        av_frame_get_buffer(frame, 0);
        const uint8_t* src[4] = {picture.data()};
        int stride[4] = {WIDTH * 4};
        const int rounds = 50;
        double start = ThreadCpuSeconds();
        for (int r = 0; r < rounds; ++r)
            sws_scale(sws, src, stride, 0, HEIGHT, frame->data, frame->linesize);
        printf("  %-14s %6.2f\n", c.name, (ThreadCpuSeconds() - start) * 1000 / rounds);
        av_frame_free(&frame);
        sws_freeContext(sws);
    }
    VideoFrameScaler scaler;
    scaler.Init(WIDTH, HEIGHT, 0, 32, WIDTH, HEIGHT);
    const int rounds = 50;
    double start = ThreadCpuSeconds();
    for (int r = 0; r < rounds; ++r)
        scaler.Scale(picture.data(), r);
    printf("  %-14s %6.2f\n", "VideoFrameScaler", (ThreadCpuSeconds() - start) * 1000 / rounds);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 20;
    if (argc > 2 && sscanf(argv[2], "%dx%d", &WIDTH, &HEIGHT) != 2)
        return 1;
    std::vector<uint8_t> still;
    if (argc > 4) {
        std::string bytes = ReadFileText(argv[3]);
        if (bytes.size() != (size_t)WIDTH * HEIGHT * 4) {
            fprintf(stderr, "%s is not %dx%d BGRA\n", argv[3], WIDTH, HEIGHT);
            return 1;
        }
        still.assign(bytes.begin(), bytes.end());
    }
    MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);
    MemPool::Frames().Reserve((unsigned)(WIDTH * HEIGHT * 4));
    std::vector<uint8_t> canvas = MakeCanvas();
    if (still.empty())
        CompareConversions(canvas);

    TempDir dir;
    std::string path = argc > 4 ? std::string(argv[4]) : dir.File("bench.mp4");
    // as screen mode does while the user chooses what to record
    int64_t prepare0 = OS_NowMs();
    AvPacker::Prepare(RecordingFormat::CODEC_MPEG4, WIDTH, HEIGHT, FPS);
    int64_t open0 = OS_NowMs();
    AvPacker packer;
    if (packer.Open(path.c_str(), WIDTH, HEIGHT, 32, 0, WIDTH, HEIGHT, FPS) < 0) {
        fprintf(stderr, "cannot open the packer\n");
        return 1;
    }
    int64_t openMs = OS_NowMs() - open0;

    // Producer: a picture every 40 ms and a sound block every 1024/11025 s,
    // as the capture and sound threads would deliver them.
    double cpuBefore = ProcessCpuSeconds();
    double producerBefore = ThreadCpuSeconds();
    int64_t start = OS_NowMs();
    int pictures = FPS * seconds;
    int pushed = 0, poolEmpty = 0;
    int64_t soundFrames = 0;
    for (int i = 0; i < pictures; ++i) {
        int64_t due = start + (int64_t)i * 1000 / FPS;
        while (OS_NowMs() < due)
            OS_Sleep(1);
        void* block = MemPool::Frames().Alloc(MemPool::FRAME_BLOCK_SIZE);
        if (block) {
            if (still.empty())
                DrawPicture(canvas, i, static_cast<uint8_t*>(block));
            else
                memcpy(block, still.data(), still.size());
            MMPacket picture;
            picture.allocator = &MemPool::Frames();
            picture.Attach(block, WIDTH * HEIGHT * 4, (int64_t)i * 1000000 / FPS, true);
            picture.type = MMPacket::TYPE_VIDEO;
            packer.Push(&picture);
            ++pushed;
        } else {
            ++poolEmpty;
        }
        for (; soundFrames < (int64_t)(i + 1) * SOUND_SAMPLE_RATE / FPS; soundFrames += SOUND_BLOCK_FRAMES) {
            std::vector<uint8_t> tone = SineBlock(soundFrames, 440);
            MMPacket sound;
            sound.Fill(tone.data(), (int)tone.size(), SoundUs(soundFrames));
            sound.type = MMPacket::TYPE_AUDIO;
            packer.Push(&sound);
        }
    }
    double producerCpu = ThreadCpuSeconds() - producerBefore;
    // The stop: what is queued is written and the file finished in the
    // background; how long until the file is complete.
    int64_t stop = OS_NowMs();
    packer.BeginClose();
    while (!packer.IsFinished())
        OS_Sleep(1);
    int64_t finishedMs = OS_NowMs() - stop;
    packer.Close();
    double cpu = ProcessCpuSeconds() - cpuBefore;
    AvPacker::Stats s = packer.GetStats();

    Mp4Probe probe;
    size_t written = probe.Open(path) == 0 ? probe.Packets(0).size() : 0;
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    double encoded = std::max<int64_t>(1, s.picturesEncoded);
    printf("recording of %d s, %dx%d BGRA at %d per second, %s content:\n", seconds, WIDTH, HEIGHT, FPS,
           still.empty() ? "moving" : "still");
    printf("  pictures pushed %d, refused %lld, skipped %lld, encoded %lld, in the file %zu (pool empty %d times)\n",
           pushed, (long long)s.picturesRefused, (long long)s.picturesSkipped, (long long)s.picturesEncoded, written,
           poolEmpty);
    printf("  sound blocks encoded %lld\n", (long long)s.soundEncoded);
    printf("  conversion %.2f ms CPU per picture, encoding and writing %.2f ms CPU per picture\n",
           s.convertCpuUs / 1000.0 / encoded, s.encodeCpuUs / 1000.0 / encoded);
    printf("  packer pictures: %.3f CPU s per recorded s\n", (s.convertCpuUs + s.encodeCpuUs) / 1e6 / seconds);
    printf("  whole process: %.3f CPU s per recorded s (of which drawing the test pictures %.3f)\n", cpu / seconds,
           producerCpu / seconds);
    struct stat file;
    double fileMb = stat(path.c_str(), &file) == 0 ? file.st_size / 1e6 : 0;
    printf("  file %.1f MB (%.2f s), peak memory %.1f MB\n", fileMb, probe.Duration(), usage.ru_maxrss / 1024.0);
    printf("  stop to finished file: %lld ms\n", (long long)finishedMs);
    printf("  encoder prepared beforehand in %lld ms; Open took %lld ms\n", (long long)(open0 - prepare0),
           (long long)openMs);
    return 0;
}
