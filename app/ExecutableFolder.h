#pragma once

#include <string>

// The folder of the running program with a trailing '/', found once and
// cached. Empty when it cannot be read.
const std::string& ExecutableFolder();
