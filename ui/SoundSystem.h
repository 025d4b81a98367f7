#pragma once

// True when Qt lists at least one audio output device, so QSound can play.
bool SoundSystemAvailable();

// Writes "sound system not available!" to the debug output when it is not.
// The choosers call it once, at construction.
void ReportMissingSoundSystem();
