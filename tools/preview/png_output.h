// PNG files of the preview's pictures and blood masks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "contact_sheet.h"

// Write the image (RGB) or one byte per pixel (grey) as a PNG file at path; false when the
// file could not be written.
bool WritePng(const std::string& path, const Image& image);
bool WriteGreyPng(const std::string& path, int width, int height, const uint8_t* bytes);

// One picture of an animation, shown for delayMs milliseconds.
struct AnimationFrame {
  Image image;
  int delayMs;
};

// Writes the frames (all of the first one's size) as an animated PNG that loops; each
// frame after the first stores only the rectangle that changed. False when the file could
// not be written or the frames differ in size.
bool WriteAnimatedPng(const std::string& path, const std::vector<AnimationFrame>& frames);
