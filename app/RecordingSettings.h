#pragma once

#include <string>

// The recording options of the settings file: video codec, pictures and
// sound samples a second, and the recordings folder. Read at the start of
// every recording, so a change applies to the next one. A value that is not
// one of those offered is logged and the default kept; with no entries the
// defaults make the same file as ever.
//
//   video.codec=mpeg4|h264
//   video.fps=25|30|60
//   audio.rate=11025|44100|48000
//   output.folder=<path>         (absent or empty: the default folder)
class RecordingSettings {
public:
    RecordingSettings();

    // Reads path's entries over the defaults. 0, or -1 when the file cannot
    // be read (the defaults stay).
    int Load(const char* path);
    // Writes every entry into path, keeping its other lines. 0 or -1.
    int Save(const char* path) const;

    int codec;                 // RecordingFormat::VideoCodec
    int fps;
    int sampleRate;
    std::string outputFolder;  // empty: the default folder
};
