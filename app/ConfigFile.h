#pragma once

#include <cstdint>
#include <string>

// key=value settings file held as one text buffer of fixed capacity, edited in
// place and written back whole. Each user makes its own short-lived object:
// Load, read or write one key, let it go (the destructor saves).
// The buffer never grows: a file that does not fit is not loaded, and an edit
// that would not fit is refused, so a user's file is never written back cut.
class ConfigFile {
public:
    // Capacity every caller passes.
    static constexpr uint32_t DEFAULT_CAPACITY = 8192;
    // Longest "key=value" line an edit builds.
    static constexpr int MAX_LINE = 254;

    ConfigFile();
    ~ConfigFile();

    // Reads path into a buffer of capacity bytes. false when the file cannot
    // be opened or does not fit (the empty buffer stays, Close is harmless).
    bool Load(const char* path, uint32_t capacity);
    // Writes the text back when it was changed. false when that fails.
    bool Save();
    // Saves, then frees the buffer.
    void Close();

    // The trimmed value of key; false (out untouched) when there is none.
    bool GetString(const char* key, std::string& out) const;
    // The leading decimal integer of key's value, else defaultValue.
    int GetInt(const char* key, int defaultValue) const;
    // Replaces key's line or appends one. false (nothing changed) when the
    // result would not fit the buffer or no file is loaded.
    bool SetString(const char* key, const char* value);
    bool SetInt(const char* key, int value);

    const char* Text() const { return m_text; }
    uint32_t Length() const { return m_length; }
    bool IsDirty() const { return m_dirty; }

private:
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;

    // Offset of key's line in the text, or -1. A line is the key's entry when
    // it starts with the key followed by blanks or tabs and '='.
    long FindEntry(const char* key) const;

    std::string m_path;
    char* m_text;         // m_length characters, then NUL
    uint32_t m_capacity;
    uint32_t m_length;
    bool m_dirty;
    bool m_loaded;        // Load succeeded: edits and Save are allowed
};
