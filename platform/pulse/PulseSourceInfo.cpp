#include "platform/pulse/PulseSourceInfo.h"

#include <pulse/pulseaudio.h>

#include "os/OS_Log.h"
#include "platform/pulse/PulseConnection.h"

namespace {

// Runs on the main loop's thread, once per source and once at the end.
void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol || !info)
        return;
    PulseSourceInfo source;
    source.name = info->name ? info->name : "";
    source.description = info->description ? info->description : source.name;
    source.driver = info->driver ? info->driver : "";
    source.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
    static_cast<std::vector<PulseSourceInfo>*>(userdata)->push_back(source);
}

}  // namespace

int PulseEnumerateSources(std::vector<PulseSourceInfo>& sources) {
    PulseConnection connection;
    if (connection.Connect("vidloom device list") != 0)
        return -1;
    std::vector<PulseSourceInfo> found;
    connection.Lock();
    int result = connection.WaitOperation(
        pa_context_get_source_info_list(connection.Context(), &OnSourceInfo, &found));
    if (result != 0)
        OS_Log::Error("Sound: cannot list the sources: %s\n", connection.LastError());
    connection.Unlock();
    connection.Disconnect();
    if (result != 0)
        return -1;
    sources.insert(sources.end(), found.begin(), found.end());
    return 0;
}
