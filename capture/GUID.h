#pragma once

#include <cstdint>
#include <string>

// A 128-bit device id. Sound capture devices are known by the text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (38 characters, upper-case hex).
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    bool operator==(const GUID& other) const;
    bool operator!=(const GUID& other) const { return !(*this == other); }
};

// Length of the text form, without the terminating NUL.
constexpr int GUID_TEXT_LENGTH = 38;

// The id that stands for "the default capture device" (the server's
// default source) instead of a particular one.
extern const GUID DEFAULT_CAPTURE_GUID;

// Formats guid in the text form.
void GuidToString(const GUID& guid, std::string& text);
// Reads the text form at its fixed positions; each of the 32 digit
// positions takes one hex digit of either case, any other character counts
// as 0, and braces and dashes are not checked. Reads no further than the
// text's end: a missing character counts as 0 too. 0, or -1 when text is
// null or shorter than 38 characters (guid is filled all the same).
int GuidFromString(const char* text, GUID& guid);
// The id of a sound source: a name-based UUID (version 5) of its server
// name, so the same source keeps its id from run to run.
void GuidFromSourceName(const std::string& sourceName, GUID& guid);
// A process-wide memory of the ids handed out: every device list fills it,
// so a device is found again by its id without listing every source once
// more. Any thread.
void RememberSourceName(const std::string& sourceName);
// The source name remembered for guid: 0, or -1 when none is.
int FindSourceName(const GUID& guid, std::string& sourceName);
