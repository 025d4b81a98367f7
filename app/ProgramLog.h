#pragma once

// Opens the process-wide log on fileName at level 4 with its lines going
// to Qt's message output, which prints each of them once on the console (the
// log's own echo is turned off, or every line would show twice). 0, or -1
// when the log cannot be opened.
int OpenProgramLog(const char* fileName);
