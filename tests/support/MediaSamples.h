#pragma once

// Pictures and sound blocks in the layouts producers push into the packer.

#include <cstdint>
#include <vector>

// Sound block of the capture: 1024 stereo sample frames, 16-bit interleaved.
constexpr int SOUND_BLOCK_FRAMES = 1024;
constexpr int SOUND_BLOCK_BYTES = SOUND_BLOCK_FRAMES * 2 * 2;
constexpr int SOUND_SAMPLE_RATE = 11025;

// A whole picture of one colour: BGR (3 bytes a pixel) or BGRA (4).
void FillPicture(uint8_t* picture, int width, int height, int bytesPerPixel, uint8_t blue, uint8_t green,
                 uint8_t red);
std::vector<uint8_t> SolidPicture(int width, int height, int bytesPerPixel, uint8_t blue, uint8_t green,
                                  uint8_t red);
// One sound block of a sine tone (amplitude 0.5, same on both channels)
// starting at sample frame firstFrame of the tone.
std::vector<uint8_t> SineBlock(int64_t firstFrame, double hz);
