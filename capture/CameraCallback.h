#pragma once

// Receives the frames of a CameraCapture. Called on the camera layer's own
// streaming thread, one frame at a time, while the camera runs; never after
// CameraCapture::Stop has returned. Must return within one frame time
// (1 / fps) or frames are dropped, and must not call back into the
// CameraCapture that delivers.
class CameraCallback {
public:
    // One whole frame in the opened format (the format fields of the
    // CameraCapture), size bytes, rows top first. data is the camera's own
    // buffer, valid only during the call: copy what you keep. sampleTime is
    // seconds since Start. Returns 0; the result is not used.
    virtual int OnCameraFrame(double sampleTime, unsigned char* data, long size) = 0;

protected:
    // The recording engine inherits this beside its other bases; never deleted
    // through it.
    ~CameraCallback() = default;
};
