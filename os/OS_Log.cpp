#include "os/OS_Log.h"

#include <cstring>
#include <ctime>

#include "os/OS_MutexLocker.h"

namespace {

const char* TagOf(int level) {
    switch (level) {
    case OS_Log::LEVEL_FATAL: return "FTL";
    case OS_Log::LEVEL_ERROR: return "ERR";
    case OS_Log::LEVEL_WARNING: return "WRN";
    case OS_Log::LEVEL_INFO: return "INF";
    case OS_Log::LEVEL_DEBUG: return "DBG";
    default: return "UND";
    }
}

// Local time to the second: "YYYY-MM-DD hh:mm:ss".
void FormatTimestamp(char* out, size_t size) {
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace

OS_Log::OS_Log()
    : m_file(nullptr), m_level(0), m_callback(nullptr), m_echo(true), m_bytesWritten(0),
      m_fileName(), m_backupName() {}

OS_Log::~OS_Log() {
    if (m_file)
        fclose(m_file);
}

int OS_Log::Open(const char* fileName) {
    {
        OS_MutexLocker guard(m_lock);  // no-op before the lock exists
        m_fileName[0] = '\0';
        m_backupName[0] = '\0';
        if (fileName && strlen(fileName) <= (size_t)MAX_FILE_NAME) {
            snprintf(m_fileName, sizeof m_fileName, "%s", fileName);
            snprintf(m_backupName, sizeof m_backupName, "%s.bak", fileName);
        }
        if (m_file) {
            fclose(m_file);
            m_file = nullptr;
        }
        m_bytesWritten = 0;
        if (m_fileName[0])
            m_file = fopen(m_fileName, "w");
    }
    m_level = LEVEL_DEBUG;
    return m_lock.Init();
}

void OS_Log::SetLevel(int level) { m_level = level; }
void OS_Log::SetCallback(LogCallback fn) { m_callback = fn; }
void OS_Log::SetEcho(bool echo) { m_echo = echo; }

int OS_Log::Print(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VPrint(level, format, args);
    va_end(args);
    return 0;
}

int OS_Log::VPrint(int level, const char* format, va_list args) {
    if (level > m_level)
        return 0;

    char stamp[64];
    FormatTimestamp(stamp, sizeof stamp);
    const char* tag = TagOf(level);

    char text[MAX_MESSAGE + 1];
    vsnprintf(text, sizeof text, format, args);

    LogCallback callback = m_callback;
    if (callback)
        callback(level, text);
    if (m_echo) {
        // One call per line keeps echoed lines mostly whole between threads.
        printf("%s %s  %s", stamp, tag, text);
        fflush(stdout);
    }
    WriteFile(stamp, tag, text);
    return 0;
}

void OS_Log::WriteFile(const char* stamp, const char* tag, const char* text) {
    // Before Open the lock does not exist and there is no file either.
    if (m_lock.Lock() != 0)
        return;
    if (m_file) {
        int n = fprintf(m_file, "%s [%s]  ", stamp, tag);
        if (n > 0)
            m_bytesWritten += n;
        size_t len = strlen(text);
        if (fwrite(text, 1, len, m_file) == len)
            m_bytesWritten += (int32_t)len;
        fflush(m_file);
        if (m_bytesWritten > ROTATE_BYTES)
            Rotate();
    }
    m_lock.Unlock();
}

// Called with m_lock held. The backup takes the whole old file; the file
// starts again empty. A failed move still reopens the file emptied.
void OS_Log::Rotate() {
    fclose(m_file);
    rename(m_fileName, m_backupName);
    m_bytesWritten = 0;
    m_file = fopen(m_fileName, "w");
}

OS_Log& OS_Log::Global() {
    // Never destroyed: a sound server callback or a thread still running at
    // exit may log after static objects are gone. Every line is flushed when
    // written, so nothing is lost when the process ends.
    static OS_Log* log = new OS_Log();
    return *log;
}

#define OS_LOG_ENTRY(name, level)                  \
    int OS_Log::name(const char* format, ...) {    \
        va_list args;                              \
        va_start(args, format);                    \
        Global().VPrint(level, format, args);      \
        va_end(args);                              \
        return 0;                                  \
    }

OS_LOG_ENTRY(Fatal, LEVEL_FATAL)
OS_LOG_ENTRY(Error, LEVEL_ERROR)
OS_LOG_ENTRY(Warning, LEVEL_WARNING)
OS_LOG_ENTRY(Info, LEVEL_INFO)
OS_LOG_ENTRY(Debug, LEVEL_DEBUG)
