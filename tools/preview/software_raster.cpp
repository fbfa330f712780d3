#include "software_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Vertices are snapped to 1/256 pixel so that edge tests are exact integer arithmetic:
// two triangles sharing an edge then cover each pixel centre on it exactly once.
constexpr int kSubPixelBits = 8;
constexpr float kSubPixel = static_cast<float>(1 << kSubPixelBits);
// Views are framed around the ped, so nothing needs clipping; far-off vertices are refused
// before their fixed-point products could overflow.
constexpr float kMaxCoordinate = 16384.0f;

struct Fixed {
  int64_t x, y;
};

int64_t Edge(Fixed a, Fixed b, Fixed p) {
  return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

// With the orientation used below (positive area), pixels on a top edge or a left edge
// belong to the triangle, those on the other edges to its neighbour.
bool TopLeft(Fixed a, Fixed b) { return (a.y == b.y && b.x > a.x) || b.y < a.y; }

Rgba Texel(const TextureView& texture, int x, int y) {
  const uint8_t* p = texture.pixels + static_cast<size_t>(y) * static_cast<size_t>(texture.stride) +
                     4 * static_cast<size_t>(x);
  return {p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f, p[3] / 255.0f};
}

// Fraction of t in [0, 1); NaN and infinities count as 0.
double Wrap(double t) {
  if (!std::isfinite(t)) return 0.0;
  double f = t - std::floor(t);
  return f < 1.0 ? f : 0.0;
}

Rgba Mix(Rgba a, Rgba b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
          a.a + (b.a - a.a) * t};
}

}  // namespace

Canvas MakeCanvas(int width, int height, Rgba background) {
  Canvas canvas;
  canvas.width = std::max(0, width);
  canvas.height = std::max(0, height);
  size_t pixels = static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height);
  canvas.colour.resize(pixels * 3);
  for (size_t i = 0; i < pixels; ++i) {
    canvas.colour[3 * i] = background.r;
    canvas.colour[3 * i + 1] = background.g;
    canvas.colour[3 * i + 2] = background.b;
  }
  canvas.depth.assign(pixels, INFINITY);
  return canvas;
}

Rgba SampleWrapped(const TextureView& texture, float u, float v) {
  if (!texture.pixels || texture.width <= 0 || texture.height <= 0 ||
      texture.stride < 4 * texture.width) {
    return {1, 1, 1, 1};
  }
  double x = Wrap(u) * texture.width - 0.5;
  double y = Wrap(v) * texture.height - 0.5;
  double fx = std::floor(x), fy = std::floor(y);
  float tx = static_cast<float>(x - fx), ty = static_cast<float>(y - fy);
  int x0 = (static_cast<int>(fx) + texture.width) % texture.width;
  int y0 = (static_cast<int>(fy) + texture.height) % texture.height;
  int x1 = (x0 + 1) % texture.width;
  int y1 = (y0 + 1) % texture.height;
  Rgba top = Mix(Texel(texture, x0, y0), Texel(texture, x1, y0), tx);
  Rgba bottom = Mix(Texel(texture, x0, y1), Texel(texture, x1, y1), tx);
  return Mix(top, bottom, ty);
}

void DrawTriangle(Canvas& canvas, const RasterVertex vertices[3], const RasterState& state) {
  const RasterVertex* v[3] = {&vertices[0], &vertices[1], &vertices[2]};
  Fixed p[3];
  for (int i = 0; i < 3; ++i) {
    // Written so that NaN fails the test too.
    if (!(std::fabs(v[i]->x) < kMaxCoordinate && std::fabs(v[i]->y) < kMaxCoordinate)) return;
    p[i] = {static_cast<int64_t>(std::lround(v[i]->x * kSubPixel)),
            static_cast<int64_t>(std::lround(v[i]->y * kSubPixel))};
  }
  int64_t area = Edge(p[0], p[1], p[2]);
  if (area == 0) return;
  if (area < 0) {
    std::swap(p[1], p[2]);
    std::swap(v[1], v[2]);
    area = -area;
  }

  int64_t minX = std::min({p[0].x, p[1].x, p[2].x}), maxX = std::max({p[0].x, p[1].x, p[2].x});
  int64_t minY = std::min({p[0].y, p[1].y, p[2].y}), maxY = std::max({p[0].y, p[1].y, p[2].y});
  const int64_t half = 1 << (kSubPixelBits - 1);
  const int64_t unit = 1 << kSubPixelBits;
  // Pixel px is covered when its centre px * unit + half lies in [min, max].
  auto firstPixel = [&](int64_t lo) { return (lo - half + unit - 1) >> kSubPixelBits; };
  auto lastPixel = [&](int64_t hi) { return (hi - half) >> kSubPixelBits; };
  int x0 = static_cast<int>(std::max<int64_t>(0, firstPixel(minX)));
  int x1 = static_cast<int>(std::min<int64_t>(canvas.width - 1, lastPixel(maxX)));
  int y0 = static_cast<int>(std::max<int64_t>(0, firstPixel(minY)));
  int y1 = static_cast<int>(std::min<int64_t>(canvas.height - 1, lastPixel(maxY)));

  const bool owns[3] = {TopLeft(p[1], p[2]), TopLeft(p[2], p[0]), TopLeft(p[0], p[1])};
  const double inverseArea = 1.0 / static_cast<double>(area);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      Fixed centre{static_cast<int64_t>(x) * unit + half, static_cast<int64_t>(y) * unit + half};
      int64_t e[3] = {Edge(p[1], p[2], centre), Edge(p[2], p[0], centre), Edge(p[0], p[1], centre)};
      bool inside = true;
      for (int i = 0; i < 3; ++i) inside = inside && (e[i] > 0 || (e[i] == 0 && owns[i]));
      if (!inside) continue;

      float w[3];
      for (int i = 0; i < 3; ++i)
        w[i] = static_cast<float>(static_cast<double>(e[i]) * inverseArea);
      size_t index =
          static_cast<size_t>(y) * static_cast<size_t>(canvas.width) + static_cast<size_t>(x);
      float depth = w[0] * v[0]->depth + w[1] * v[1]->depth + w[2] * v[2]->depth;
      if (!(depth <= canvas.depth[index])) continue;

      float u = w[0] * v[0]->u + w[1] * v[1]->u + w[2] * v[2]->u;
      float t = w[0] * v[0]->v + w[1] * v[1]->v + w[2] * v[2]->v;
      float shade = w[0] * v[0]->shade + w[1] * v[1]->shade + w[2] * v[2]->shade;
      Rgba texel = SampleWrapped(state.texture, u, t);
      float alpha = state.blend ? texel.a * state.tint.a : 1.0f;
      float source[3] = {texel.r * state.tint.r * shade, texel.g * state.tint.g * shade,
                         texel.b * state.tint.b * shade};
      float* out = &canvas.colour[3 * index];
      for (int c = 0; c < 3; ++c) {
        float s = std::min(1.0f, std::max(0.0f, source[c]));
        out[c] = s * alpha + out[c] * (1.0f - alpha);
      }
      if (state.depthWrite) canvas.depth[index] = depth;
    }
  }
}
