#pragma once

#include <QString>

#include <string>

// 8-bit text of this platform (file names, device names, window titles) is
// UTF-8. These conversions go through Qt's 8-bit locale codec, which
// InitTextCodec pins to UTF-8; both give an empty result when no codec is
// available. GUI thread or any thread once InitTextCodec has run.

// Makes UTF-8 the locale codec, also under LANG=C. Called once by main
// before any window is built.
void InitTextCodec();

// 8-bit text to a Qt string; null gives an empty string.
QString ToQString(const char* text);
QString ToQString(const std::string& text);

// A Qt string to 8-bit text.
std::string ToGbString(const QString& text);

// Reads the style sheet file at path whole and converts it from GB2312.
// Empty when the file is missing or empty or the codec is not available.
QString LoadStyleSheet(const char* path);
