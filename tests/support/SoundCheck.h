#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Helpers for tests and benchmarks that record the test server's sources.

// Collects the process-wide log's messages while it lives (one at a time).
// Opens the log at the debug level, without a file.
class LogCatcher {
public:
    LogCatcher();
    ~LogCatcher();
    // A logged message equals text exactly.
    bool Has(const std::string& text) const;
    // A logged message contains part.
    bool HasPart(const std::string& part) const;
    std::string All() const;
};

// Places in a 16-bit channel (every stride-th sample of count) where a sine
// of the given frequency breaks: x[n-1] + x[n+1] must equal
// 2 cos(w) x[n] within tolerance. A lost or repeated block of a tone shows
// up here as a jump.
int CountSineBreaks(const int16_t* samples, size_t count, int stride, double frequency,
                    int sampleRate, double tolerance);
// Frequency of a tone from its upward zero crossings.
double ToneFrequency(const int16_t* samples, size_t count, int stride, int sampleRate);

// The device id (GUID text) of a source of the sound server.
std::string SourceGuidText(const std::string& sourceName);
