#include "app/RecordingSettings.h"

#include <cstring>

#include "app/ConfigFile.h"
#include "media/RecordingFormat.h"
#include "os/OS_Log.h"

namespace {

const char* const KEY_CODEC = "video.codec";
const char* const KEY_FPS = "video.fps";
const char* const KEY_RATE = "audio.rate";
const char* const KEY_FOLDER = "output.folder";

const char* const CODEC_NAMES[] = {"mpeg4", "h264"};

// value when it is one of the count in allowed; else the default (logged).
int Pick(const ConfigFile& config, const char* key, const int* allowed, int count, int fallback) {
    std::string text;
    if (!config.GetString(key, text))
        return fallback;
    for (int i = 0; i < count; ++i) {
        if (text == std::to_string(allowed[i]))
            return allowed[i];
    }
    OS_Log::Warning("settings: %s=%s is not a choice; %d is used\n", key, text.c_str(), fallback);
    return fallback;
}

}  // namespace

RecordingSettings::RecordingSettings()
    : codec(RecordingFormat::CODEC_MPEG4), fps(RecordingFormat::FRAMES_PER_SECOND),
      sampleRate(RecordingFormat::SAMPLE_RATE) {}

int RecordingSettings::Load(const char* path) {
    *this = RecordingSettings();
    ConfigFile config;
    if (!config.Load(path, ConfigFile::DEFAULT_CAPACITY))
        return -1;
    std::string text;
    if (config.GetString(KEY_CODEC, text)) {
        if (text == CODEC_NAMES[RecordingFormat::CODEC_H264])
            codec = RecordingFormat::CODEC_H264;
        else if (text != CODEC_NAMES[RecordingFormat::CODEC_MPEG4])
            OS_Log::Warning("settings: %s=%s is not a choice; mpeg4 is used\n", KEY_CODEC, text.c_str());
    }
    static const int RATES[] = {25, 30, 60};
    fps = Pick(config, KEY_FPS, RATES, 3, fps);
    static const int SAMPLE_RATES[] = {11025, 44100, 48000};
    sampleRate = Pick(config, KEY_RATE, SAMPLE_RATES, 3, sampleRate);
    config.GetString(KEY_FOLDER, outputFolder);
    config.Close();
    return 0;
}

int RecordingSettings::Save(const char* path) const {
    ConfigFile config;
    if (!config.Load(path, ConfigFile::DEFAULT_CAPACITY))
        return -1;
    bool ok = config.SetString(KEY_CODEC, CODEC_NAMES[codec == RecordingFormat::CODEC_H264 ? 1 : 0]);
    ok = config.SetInt(KEY_FPS, fps) && ok;
    ok = config.SetInt(KEY_RATE, sampleRate) && ok;
    ok = config.SetString(KEY_FOLDER, outputFolder.c_str()) && ok;
    return ok && config.Save() ? 0 : -1;
}
