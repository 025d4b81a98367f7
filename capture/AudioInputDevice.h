#pragma once

#include <string>
#include <vector>

// One sound capture device (a source of the sound server). Plain record,
// kept by value; each text is NUL-terminated and cut to its field.
struct AudioInputDevice {
    static constexpr int GUID_SIZE = 128;
    static constexpr int NAME_SIZE = 256;
    static constexpr int DRIVER_SIZE = 128;

    char guid[GUID_SIZE] = {};      // the device id in GUID text form
    char name[NAME_SIZE] = {};      // the description, UTF-8
    char driver[DRIVER_SIZE] = {};  // the module that provides the source
    bool monitor = false;           // records what an output plays (the stereo mix)
};

// Appends one record per source in the server's order, logging each; does
// not clear the vector. 0, or -1 after logging "Sound Capture: Failed to
// enumberate sound capture devices" when there is no server or no list (the
// vector then keeps what it had). Each id is remembered, so Recorder::Open
// finds its source without listing again. Any thread; on its own
// connection, so it waits at most the connection's time-outs on a server
// that does not answer: the recording engine calls it on its worker, never
// on the UI thread.
int EnumerateSoundCaptureDevices(std::vector<AudioInputDevice>& devices);

// Picks the stereo mix and the microphone out of a device list. Both start
// empty; visiting the list in order, a device whose name holds "立体声混音"
// or that is a monitor becomes the stereo mix, any other device (one named
// "麦克风" among them) the microphone; the last of each kind wins. An empty
// micGuid means the default capture device.
void FindMixAndMicDevices(const std::vector<AudioInputDevice>& devices, std::string& mixGuid,
                          std::string& micGuid);
