#pragma once

#include <string>
#include <vector>

#include "capture/CameraInfo.h"

class CameraDevice;

// Appends one record per camera in the order the system lists them (the test
// camera first when VIDLOOM_TEST_CAMERA=1); does not clear the vector. 0,
// also when there is no camera; -1 when the device folder cannot be read.
// Logs nothing. Called on the UI thread.
int EnumerateCameras(std::vector<CameraInfo>& cameras);

// The camera whose DevicePath equals devicePath exactly (case-sensitive,
// whole string), as a device object not yet opened, or null when none
// matches. The caller owns the result and deletes it (after Close).
CameraDevice* FindCameraMoniker(const std::string& devicePath);
