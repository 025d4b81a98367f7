#include "capture/AudioInputDevice.h"

#include <cstring>

#include "capture/GUID.h"
#include "os/OS_Log.h"
#include "platform/pulse/PulseConnection.h"

namespace {

// The names by which a Chinese desktop calls the two inputs, UTF-8 like
// every device name here.
const char* const STEREO_MIX_NAME = "立体声混音";

// Copies text into a field of size bytes, always NUL-terminated. A text
// that does not fit is cut before the character that would cross the end,
// so a UTF-8 description stays valid.
void CopyDeviceText(char* field, size_t size, const std::string& text) {
    size_t n = text.size();
    if (n > size - 1) {
        n = size - 1;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    memcpy(field, text.data(), n);
    field[n] = '\0';
}

// Byte-wise search that stays inside the field even without a NUL.
bool NameContains(const AudioInputDevice& device, const char* word) {
    size_t length = strnlen(device.name, sizeof device.name);
    return memmem(device.name, length, word, strlen(word)) != nullptr;
}

}  // namespace

int EnumerateSoundCaptureDevices(std::vector<AudioInputDevice>& devices) {
    std::vector<PulseSourceInfo> sources;
    if (PulseEnumerateSources(sources) != 0) {
        OS_Log::Error("Sound Capture: Failed to enumberate sound capture devices \n");
        return -1;
    }
    for (const PulseSourceInfo& source : sources) {
        AudioInputDevice device;
        CopyDeviceText(device.driver, sizeof device.driver, source.driver);
        CopyDeviceText(device.name, sizeof device.name, source.description);
        RememberSourceName(source.name);
        GUID guid;
        GuidFromSourceName(source.name, guid);
        std::string guidText;
        GuidToString(guid, guidText);
        CopyDeviceText(device.guid, sizeof device.guid, guidText);
        device.monitor = source.monitor;
        devices.push_back(device);
        OS_Log::Info("sound card : %s , driver: %s , GUID=%s,\n", device.name, device.driver,
                     device.guid);
    }
    return 0;
}

void FindMixAndMicDevices(const std::vector<AudioInputDevice>& devices, std::string& mixGuid,
                          std::string& micGuid) {
    mixGuid.clear();
    micGuid.clear();
    for (const AudioInputDevice& device : devices) {
        // A monitor is what Linux offers for "stereo mix"; every other
        // source, "麦克风" or not, can be the microphone.
        if (NameContains(device, STEREO_MIX_NAME) || device.monitor)
            mixGuid = device.guid;
        else
            micGuid = device.guid;
    }
}
