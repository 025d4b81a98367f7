#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "os/OS_Mutex.h"

// Receives every message that passes the level test (level, formatted text).
typedef int (*LogCallback)(int level, const char* text);

// The diagnostic log. Each message goes to the callback, to standard output
// and to the log file, which is moved to "<name>.bak" when it passes 4 MiB.
// Any thread may log. The lock covers only the file, so lines never
// interleave inside it; callback and echo run outside the lock.
class OS_Log {
public:
    enum Level { LEVEL_FATAL = 0, LEVEL_ERROR = 1, LEVEL_WARNING = 2, LEVEL_INFO = 3, LEVEL_DEBUG = 4 };

    // Longest formatted message; a longer one is cut.
    static constexpr int MAX_MESSAGE = 511;
    // File size past which the file is rotated to its backup.
    static constexpr int32_t ROTATE_BYTES = 4194304;
    // The name field holds at most this many characters; longer names are refused.
    static constexpr int MAX_FILE_NAME = 255;

    OS_Log();
    ~OS_Log();

    // Creates or empties fileName (no file when it is null, empty or longer
    // than MAX_FILE_NAME), sets level 4, creates the lock. 0, or -1 when the
    // lock cannot be created. A file that cannot be opened is not a failure.
    int Open(const char* fileName);
    void SetLevel(int level);
    void SetCallback(LogCallback fn);
    void SetEcho(bool echo);

    // Formats and writes one message of the given level. Always 0.
    int Print(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    int VPrint(int level, const char* format, va_list args);

    // The process-wide log, opened by main. It is never destroyed, so any
    // thread may log until the process has ended.
    static OS_Log& Global();

    // Entry points on the process-wide log; each returns 0.
    static int Fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static int Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static int Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static int Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static int Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));

private:
    OS_Log(const OS_Log&) = delete;
    OS_Log& operator=(const OS_Log&) = delete;

    void WriteFile(const char* stamp, const char* tag, const char* text);
    void Rotate();

    FILE* m_file;                 // guarded by m_lock
    OS_Mutex m_lock;              // guards m_file, m_bytesWritten and rotation
    std::atomic<int> m_level;
    std::atomic<LogCallback> m_callback;
    std::atomic<bool> m_echo;
    int32_t m_bytesWritten;       // guarded by m_lock
    char m_fileName[MAX_FILE_NAME + 1];
    char m_backupName[MAX_FILE_NAME + 5];
};
