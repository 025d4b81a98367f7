#pragma once

class QApplication;

// The one QApplication of a test program, made on first use on the given Qt
// platform ("xcb" for the private X server, "offscreen" for no display).
// Later calls return the same object whatever they ask for. Never deleted.
QApplication* TestApplication(const char* platform);
