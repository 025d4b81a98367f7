#pragma once

// Turns SIGTERM, SIGINT and SIGHUP into a normal end of the event loop, so a
// running recording is finished (its file closed properly) before the
// process exits. Call once, after the QApplication exists. 0 or -1.
int InstallQuitOnSignal();
