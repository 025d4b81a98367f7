#pragma once

#include <cstdint>
#include <string>

#include "platform/pulse/PulseConnection.h"

class PulseCaptureBuffer;

// One source of the sound server, opened for recording: the capture device
// of the sound-device layer. Owns its own connection. Used by one thread (the
// owner's); the buffers it creates are closed before it.
class PulseCaptureDevice {
public:
    PulseCaptureDevice();
    ~PulseCaptureDevice();

    // Connects and looks the source up by its server name; null or empty
    // names the server's default source. 0, or -1 after logging the reason.
    int Open(const char* sourceName);
    // Disconnects; safe in any state and twice.
    void Close();

    // The source's own sample format as a mask (bit n: PulseAudio sample
    // format n) and its channel count. 0, or -1 before Open.
    int GetCaps(uint32_t& formats, int& channels) const;

    // A capture ring of bytes bytes whose stream records in the given PCM
    // format; the server converts from the source's own. The caller owns the
    // result and closes and deletes it before closing this device. Null when
    // the format or size is not valid.
    PulseCaptureBuffer* CreateBuffer(int bytes, int channels, int sampleRate, int bitsPerSample);

    // The server's name of the opened source.
    const std::string& SourceName() const { return m_sourceName; }

private:
    PulseCaptureDevice(const PulseCaptureDevice&) = delete;
    PulseCaptureDevice& operator=(const PulseCaptureDevice&) = delete;

    PulseConnection m_connection;
    bool m_open;
    std::string m_sourceName;
    uint32_t m_formats;  // mask of the source's own sample format
    int m_channels;      // the source's own channel count
};
