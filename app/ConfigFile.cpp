#include "app/ConfigFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/OS_Log.h"

namespace {

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

ConfigFile::ConfigFile() : m_text(nullptr), m_capacity(0), m_length(0), m_dirty(false), m_loaded(false) {}

ConfigFile::~ConfigFile() { Close(); }

bool ConfigFile::Load(const char* path, uint32_t capacity) {
    Close();
    if (capacity < 2)
        return false;
    m_text = new char[capacity];
    m_capacity = capacity;
    m_path = path ? path : "";
    m_text[0] = '\0';
    m_length = 0;
    m_dirty = false;

    FILE* file = fopen(m_path.c_str(), "rb");
    if (!file) {
        OS_Log::Warning("error in opening file!\n");
        return false;
    }
    // Read one byte more than fits, to tell a file that fits from one that
    // would be cut.
    size_t n = fread(m_text, 1, capacity, file);
    fclose(file);
    // Room is needed for a missing final line feed and the NUL.
    bool needsLineFeed = n > 0 && m_text[n - 1] != '\n';
    if (n + (needsLineFeed ? 1 : 0) + 1 > capacity) {
        OS_Log::Error("config file too large: %s\n", m_path.c_str());
        m_text[0] = '\0';
        return false;
    }
    if (needsLineFeed)
        m_text[n++] = '\n';
    m_length = (uint32_t)n;
    m_text[m_length] = '\0';
    m_loaded = true;
    return true;
}

bool ConfigFile::Save() {
    if (!m_dirty)
        return true;
    // Write beside the file, then rename over it: a crash mid-write leaves
    // the old file whole.
    std::string temp = m_path + ".tmp";
    FILE* file = fopen(temp.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(m_text, 1, m_length, file) == m_length;
    ok = fflush(file) == 0 && ok;
    ok = fclose(file) == 0 && ok;
    if (!ok || rename(temp.c_str(), m_path.c_str()) != 0) {
        remove(temp.c_str());
        return false;
    }
    m_dirty = false;
    return true;
}

void ConfigFile::Close() {
    if (!m_text)
        return;
    Save();
    delete[] m_text;
    m_text = nullptr;
    m_capacity = 0;
    m_length = 0;
    m_dirty = false;
    m_loaded = false;
}

long ConfigFile::FindEntry(const char* key) const {
    size_t keyLength = strlen(key);
    if (!m_text || keyLength == 0)
        return -1;
    uint32_t line = 0;
    while (line < m_length) {
        const char* end = static_cast<const char*>(memchr(m_text + line, '\n', m_length - line));
        uint32_t lineEnd = end ? (uint32_t)(end - m_text) : m_length;
        if (lineEnd - line > keyLength && memcmp(m_text + line, key, keyLength) == 0) {
            uint32_t p = line + (uint32_t)keyLength;
            while (p < lineEnd && (m_text[p] == ' ' || m_text[p] == '\t'))
                ++p;
            if (p < lineEnd && m_text[p] == '=')
                return (long)line;
        }
        line = lineEnd + 1;
    }
    return -1;
}

bool ConfigFile::GetString(const char* key, std::string& out) const {
    long line = FindEntry(key);
    if (line < 0)
        return false;
    const char* afterKey = m_text + line + strlen(key);
    const char* begin =
        static_cast<const char*>(memchr(afterKey, '=', m_text + m_length - afterKey)) + 1;
    const char* end = static_cast<const char*>(memchr(begin, '\n', m_text + m_length - begin));
    if (!end)
        end = m_text + m_length;
    while (begin < end && IsTrimmed(*begin))
        ++begin;
    while (end > begin && IsTrimmed(end[-1]))
        --end;
    out.assign(begin, end);
    return true;
}

int ConfigFile::GetInt(const char* key, int defaultValue) const {
    std::string value;
    if (!GetString(key, value))
        return defaultValue;
    int result;
    if (sscanf(value.c_str(), "%d", &result) != 1)
        return defaultValue;
    return result;
}

bool ConfigFile::SetString(const char* key, const char* value) {
    if (!m_loaded)
        return false;
    char line[MAX_LINE + 1];
    memset(line, 0, sizeof line);
    snprintf(line, sizeof line, "%s=%s", key, value);
    uint32_t newLength = (uint32_t)strlen(line);
    // A line feed inside the value would make a second entry.
    if (memchr(line, '\n', newLength))
        return false;

    long start = FindEntry(key);
    if (start < 0) {
        if (m_length + newLength + 1 + 1 > m_capacity)
            return false;
        memcpy(m_text + m_length, line, newLength);
        m_length += newLength;
        m_text[m_length++] = '\n';
        m_text[m_length] = '\0';
        m_dirty = true;
        return true;
    }

    // Every line ends in a line feed (Load adds a missing one).
    char* oldLine = m_text + start;
    char* end = static_cast<char*>(memchr(oldLine, '\n', m_length - (uint32_t)start));
    long oldLength = end - oldLine;
    long delta = (long)newLength - oldLength;
    if ((long)m_length + delta + 1 > (long)m_capacity)
        return false;
    // Move the rest, from the line feed through the NUL.
    memmove(end + delta, end, (size_t)(m_text + m_length - end) + 1);
    memcpy(oldLine, line, newLength);
    m_length = (uint32_t)((long)m_length + delta);
    m_dirty = true;
    return true;
}

bool ConfigFile::SetInt(const char* key, int value) {
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return SetString(key, text);
}
