// PNG files of the preview's pictures and blood masks.
#pragma once

#include <cstdint>
#include <string>

#include "contact_sheet.h"

// Write the image (RGB) or one byte per pixel (grey) as a PNG file at path; false when the
// file could not be written.
bool WritePng(const std::string& path, const Image& image);
bool WriteGreyPng(const std::string& path, int width, int height, const uint8_t* bytes);
