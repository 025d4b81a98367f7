#include "app/ProgramLog.h"

#include <QtGlobal>
#include <cstring>

#include "os/OS_Log.h"

namespace {

int ForwardToDebugOutput(int level, const char* text) {
    // Qt ends every message itself.
    int length = (int)strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        --length;
    // qFatal would end the process: a fatal line is only logged.
    switch (level) {
    case OS_Log::LEVEL_FATAL:
    case OS_Log::LEVEL_ERROR: qCritical("%.*s", length, text); break;
    case OS_Log::LEVEL_WARNING: qWarning("%.*s", length, text); break;
    case OS_Log::LEVEL_INFO: qInfo("%.*s", length, text); break;
    default: qDebug("%.*s", length, text); break;
    }
    return 0;
}

}  // namespace

int OpenProgramLog(const char* fileName) {
    OS_Log& log = OS_Log::Global();
    if (log.Open(fileName) != 0)
        return -1;
    log.SetLevel(OS_Log::LEVEL_DEBUG);
    log.SetEcho(false);
    log.SetCallback(&ForwardToDebugOutput);
    return 0;
}
