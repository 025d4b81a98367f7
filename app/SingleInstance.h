#pragma once

// Guard against a second running copy of the program.
//
// Takes the named guard for the rest of the process's life: 0 if this
// process now owns key (or already owned it), -1 if another running process
// owns it. A guard left behind by a copy that was killed (kill -9, a crash)
// does not count: it is cleared and taken. GUI thread, before any window.
int AcquireSingleInstance(const char* key);
