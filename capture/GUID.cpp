#include "capture/GUID.h"

#include <cstdio>
#include <cstring>
#include <map>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include "os/OS_Mutex.h"
#include "os/OS_MutexLocker.h"

const GUID DEFAULT_CAPTURE_GUID = {0xDEF00001, 0x9C6D, 0x47ED,
                                   {0xAA, 0xF1, 0x4D, 0xDA, 0x8F, 0x2B, 0x5C, 0x03}};

namespace {

// Name space of the source ids (a fixed random UUID): ids made by other
// programs from the same names do not collide with ours.
const uint8_t SOURCE_NAMESPACE[16] = {0xD9, 0x28, 0xC3, 0x79, 0x00, 0xA6, 0x40, 0x91,
                                      0x92, 0xFD, 0xCD, 0x88, 0x7B, 0xC5, 0xB9, 0xC0};

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

// count hex digits from position first; len is how much of the text exists
uint32_t HexField(const char* text, size_t len, size_t first, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        size_t pos = first + (size_t)i;
        value = (value << 4) | (uint32_t)(pos < len ? HexDigit(text[pos]) : 0);
    }
    return value;
}

// Source names by id text. Sources come and go rarely and a list holds a
// handful, so it never needs pruning.
struct SourceNames {
    SourceNames() { lock.Init(); }
    OS_Mutex lock;  // guards names
    std::map<std::string, std::string> names;
};

SourceNames& KnownSources() {
    static SourceNames known;
    return known;
}

}  // namespace

bool GUID::operator==(const GUID& other) const {
    return Data1 == other.Data1 && Data2 == other.Data2 && Data3 == other.Data3 &&
           memcmp(Data4, other.Data4, sizeof Data4) == 0;
}

void GuidToString(const GUID& guid, std::string& text) {
    char buffer[GUID_TEXT_LENGTH + 1];
    snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             (unsigned)guid.Data1, (unsigned)guid.Data2, (unsigned)guid.Data3,
             guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
             guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    text = buffer;
}

int GuidFromString(const char* text, GUID& guid) {
    // strnlen: a short text ends before the last position we read
    size_t len = text ? strnlen(text, GUID_TEXT_LENGTH) : 0;
    guid.Data1 = HexField(text, len, 1, 8);
    guid.Data2 = (uint16_t)HexField(text, len, 10, 4);
    guid.Data3 = (uint16_t)HexField(text, len, 15, 4);
    guid.Data4[0] = (uint8_t)HexField(text, len, 20, 2);
    guid.Data4[1] = (uint8_t)HexField(text, len, 22, 2);
    for (int i = 2; i < 8; ++i)
        guid.Data4[i] = (uint8_t)HexField(text, len, 25 + (size_t)(i - 2) * 2, 2);
    return len < (size_t)GUID_TEXT_LENGTH ? -1 : 0;
}

void GuidFromSourceName(const std::string& sourceName, GUID& guid) {
    uint8_t digest[20] = {};
    struct AVSHA* sha = av_sha_alloc();
    if (sha) {
        av_sha_init(sha, 160);
        av_sha_update(sha, SOURCE_NAMESPACE, sizeof SOURCE_NAMESPACE);
        av_sha_update(sha, reinterpret_cast<const uint8_t*>(sourceName.data()), sourceName.size());
        av_sha_final(sha, digest);
        av_free(sha);
    }
    // version 5 in the high nibble of byte 6, RFC 4122 variant in byte 8
    digest[6] = (uint8_t)((digest[6] & 0x0F) | 0x50);
    digest[8] = (uint8_t)((digest[8] & 0x3F) | 0x80);
    guid.Data1 = (uint32_t)digest[0] << 24 | (uint32_t)digest[1] << 16 |
                 (uint32_t)digest[2] << 8 | digest[3];
    guid.Data2 = (uint16_t)(digest[4] << 8 | digest[5]);
    guid.Data3 = (uint16_t)(digest[6] << 8 | digest[7]);
    memcpy(guid.Data4, digest + 8, 8);
}

void RememberSourceName(const std::string& sourceName) {
    GUID guid;
    GuidFromSourceName(sourceName, guid);
    std::string text;
    GuidToString(guid, text);
    SourceNames& known = KnownSources();
    OS_MutexLocker guard(known.lock);
    known.names[text] = sourceName;
}

int FindSourceName(const GUID& guid, std::string& sourceName) {
    std::string text;
    GuidToString(guid, text);
    SourceNames& known = KnownSources();
    OS_MutexLocker guard(known.lock);
    auto found = known.names.find(text);
    if (found == known.names.end())
        return -1;
    sourceName = found->second;
    return 0;
}
