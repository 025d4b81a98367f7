#pragma once

#include <string>

// Where the program's files are, in one of two modes:
//  - portable: the program's files (default.skin and the rest) lie beside the
//    executable, as in the build folder; settings, log and output/ are there.
//  - installed: the executable is in PREFIX/bin and its files in
//    PREFIX/share/vidloom, which stay read-only. Recordings go to the user's
//    videos folder ("vidloom" in it), default.cfg to $XDG_CONFIG_HOME/vidloom
//    (copied from the installed default the first time) and the log to
//    $XDG_STATE_HOME/vidloom.
// main calls Init once, before the log and any window; afterwards the getters
// only read, from any thread. Paths are 8-bit (UTF-8) and absolute after Init;
// before it they are the bare names, relative to the current folder.
class AppPaths {
public:
    enum Mode { MODE_PORTABLE = 0, MODE_INSTALLED = 1 };

    AppPaths();

    // The process-wide instance, set up by main.
    static AppPaths& Global();

    // Decides the mode for an executable in exeFolder (trailing '/'): installed
    // when exeFolder is ".../bin/" and "../share/vidloom/default.skin" exists
    // and no default.skin lies beside the executable; portable otherwise.
    // Installed: makes the settings and log folders and copies the default
    // settings there when the user has none. 0, or -1 when a folder or the
    // settings cannot be made (the program runs on without them).
    int Init(const std::string& exeFolder);

    Mode GetMode() const { return m_mode; }
    // Folder of the recordings, with a trailing '/' ("output/" before Init).
    // In installed mode it is made when missing; in portable mode output/ is
    // left as it is (a missing one fails the recording, as it always did).
    std::string OutputFolder() const;
    // Where a recording named as the windows name it ("output/屏幕录像-….mp4",
    // "output/摄像头-….mp4") goes: its last part inside OutputFolder().
    std::string OutputPath(const std::string& name) const;
    // The settings file default.cfg, for ConfigFile::Load (readers and
    // writers alike: in installed mode it is the user's copy).
    const std::string& ConfigPath() const { return m_configPath; }
    // The log file vidloom.log.txt.
    const std::string& LogPath() const { return m_logPath; }
    // A file the program reads: "default.skin", "bg.png", "shutter.wav"
    // (an absolute name is kept as it is).
    std::string DataPath(const std::string& name) const;

private:
    Mode m_mode;
    std::string m_dataFolder;    // trailing '/'
    std::string m_outputFolder;  // trailing '/'
    std::string m_configPath;
    std::string m_logPath;
};
