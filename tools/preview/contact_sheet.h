// Pictures as 8-bit RGB images, captions in a small built-in bitmap font, and the contact
// sheet that puts the pictures of a run side by side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "software_raster.h"

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes per pixel, rows top to bottom
};

Image MakeImage(int width, int height, const uint8_t colour[3]);
// The canvas's colours, clamped to 0..1, rounded to bytes.
Image ToImage(const Canvas& canvas);
// Averages factor x factor blocks of pixels (a supersampled picture to its size).
Image Downsample(const Image& image, int factor);
// Copies source into target with its top-left corner at (x, y), clipped to target.
void Blit(Image& target, const Image& source, int x, int y);

// Draws one line of text with its top-left corner at (x, y), each font pixel scale x scale
// image pixels; clipped to the image. Characters outside printable ASCII show as '?'.
void DrawText(Image& image, int x, int y, const std::string& text, int scale,
              const uint8_t colour[3]);
int TextWidth(const std::string& text, int scale);
constexpr int kTextLineHeight = 12;  // font pixels per line, spacing included

// Splits text at spaces into lines no wider than width pixels at scale (a longer word
// stands alone on its line).
std::vector<std::string> WrapText(const std::string& text, int width, int scale);

struct SheetCell {
  Image image;
  std::string caption;
};

// The title lines above a grid of cells, columns per row, each with its wrapped caption
// below it. Cells may differ in size; each grid column is as wide as its widest cell.
Image ComposeContactSheet(const std::vector<std::string>& title,
                          const std::vector<SheetCell>& cells, int columns);
