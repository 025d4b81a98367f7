#pragma once

#include <string>
#include <vector>

// One source (capture device) of the sound server.
struct PulseSourceInfo {
    std::string name;         // the server's name for the source, unique
    std::string description;  // for people, UTF-8
    std::string driver;       // the module that provides it ("module-alsa-card.c")
    bool monitor = false;     // it records what an output plays
};

// Appends every source of the server in the server's order. 0, or -1 after
// logging the reason (no server, or the list cannot be read); on -1 the
// vector keeps what it had. Opens and closes its own connection.
int PulseEnumerateSources(std::vector<PulseSourceInfo>& sources);
