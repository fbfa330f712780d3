// A small software rasteriser for the preview: textured, shaded triangles with a depth
// buffer, drawn opaque (the game's base pass) or alpha-blended over what is there (the
// blood pass), the way the game's pipeline draws a ped.
#pragma once

#include <cstdint>
#include <vector>

struct Rgba {
  float r, g, b, a;
};

// Colour (three floats per pixel, 0..1) and depth (smaller is nearer) of one picture.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<float> colour;
  std::vector<float> depth;
};

// Makes a width x height canvas filled with background and infinitely far depth.
Canvas MakeCanvas(int width, int height, Rgba background);

// A texture in the host's pixel layout: 4 bytes per pixel in memory order blue, green,
// red, alpha; rows stride bytes apart. A null pixels pointer samples as opaque white.
struct TextureView {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// Bilinear sample at texture coordinates (u, v), repeating the texture in both directions
// (texel (x, y) has its centre at ((x + 0.5) / width, (y + 0.5) / height)).
Rgba SampleWrapped(const TextureView& texture, float u, float v);

// One vertex in canvas space: x, y in pixels (pixel centres at +0.5), its depth, texture
// coordinates and a brightness factor for the colour.
struct RasterVertex {
  float x, y, depth;
  float u, v;
  float shade;
};

struct RasterState {
  TextureView texture;
  Rgba tint{1, 1, 1, 1};   // multiplies the sampled colour and alpha
  bool blend = false;      // false: opaque; true: colour * alpha + canvas * (1 - alpha)
  bool depthWrite = true;  // blended draws keep the depth they are drawn over
};

// Draws one triangle of either winding. A pixel is covered when its centre lies inside
// (edges shared by two triangles belong to exactly one: the top-left rule) and its depth
// is not farther than the canvas's.
void DrawTriangle(Canvas& canvas, const RasterVertex vertices[3], const RasterState& state);
