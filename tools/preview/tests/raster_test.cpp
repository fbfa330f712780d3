#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "contact_sheet.h"
#include "software_raster.h"

namespace {

// A 2 x 2 texture in the host's layout (blue, green, red, alpha), rows padded.
struct TestTexture {
  std::vector<uint8_t> bytes;
  TextureView view;
};

TestTexture MakeTexture(const std::vector<Rgba>& texels, int width, int height) {
  TestTexture t;
  int stride = width * 4 + 8;
  t.bytes.assign(static_cast<size_t>(stride * height), 0xEE);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba& c = texels[static_cast<size_t>(y * width + x)];
      uint8_t* p = &t.bytes[static_cast<size_t>(y * stride + 4 * x)];
      p[0] = static_cast<uint8_t>(c.b * 255), p[1] = static_cast<uint8_t>(c.g * 255);
      p[2] = static_cast<uint8_t>(c.r * 255), p[3] = static_cast<uint8_t>(c.a * 255);
    }
  }
  t.view = {t.bytes.data(), width, height, stride};
  return t;
}

const float* PixelAt(const Canvas& canvas, int x, int y) {
  return &canvas.colour[3 * static_cast<size_t>(y * canvas.width + x)];
}

// Two triangles covering the canvas, texture coordinates running from uv0 to uv1.
void DrawQuad(Canvas& canvas, float depth, float u0, float v0, float u1, float v1,
              const RasterState& state) {
  float w = static_cast<float>(canvas.width), h = static_cast<float>(canvas.height);
  RasterVertex a{0, 0, depth, u0, v0, 1}, b{w, 0, depth, u1, v0, 1};
  RasterVertex c{w, h, depth, u1, v1, 1}, d{0, h, depth, u0, v1, 1};
  RasterVertex first[3] = {a, b, c}, second[3] = {a, c, d};
  DrawTriangle(canvas, first, state);
  DrawTriangle(canvas, second, state);
}

const Rgba kRed{1, 0, 0, 1}, kGreen{0, 1, 0, 1}, kBlue{0, 0, 1, 1};
const Rgba kHalfWhite{1, 1, 1, 128 / 255.0f};

TEST(PreviewRaster, TexturedQuadRepeatsItsTextureAndBlendsByAlpha) {
  TestTexture texture = MakeTexture({kRed, kGreen, kBlue, kHalfWhite}, 2, 2);
  Canvas canvas = MakeCanvas(4, 4, {0, 0, 0, 1});
  RasterState opaque;
  opaque.texture = texture.view;
  // u and v run over two tiles: every pixel centre meets a texel centre.
  DrawQuad(canvas, 1.0f, 0.0f, 0.0f, 2.0f, 2.0f, opaque);
  const Rgba expected[2][2] = {{kRed, kGreen}, {kBlue, {1, 1, 1, 1}}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const Rgba& e = expected[y % 2][x % 2];
      EXPECT_NEAR(PixelAt(canvas, x, y)[0], e.r, 1e-3) << x << "," << y;
      EXPECT_NEAR(PixelAt(canvas, x, y)[1], e.g, 1e-3) << x << "," << y;
      EXPECT_NEAR(PixelAt(canvas, x, y)[2], e.b, 1e-3) << x << "," << y;
    }
  }

  // The same quad blended at the same depth over a grey canvas: each texel's alpha mixes it.
  Canvas grey = MakeCanvas(4, 4, {0.5f, 0.5f, 0.5f, 1});
  RasterState base;
  DrawQuad(grey, 1.0f, 0, 0, 1, 1, base);  // untextured: white, writes depth
  RasterState blend;
  blend.texture = texture.view;
  blend.blend = true;
  blend.depthWrite = false;
  blend.tint = {0.5f, 1, 1, 1};
  DrawQuad(grey, 1.0f, 0.0f, 0.0f, 2.0f, 2.0f, blend);
  float a = 128 / 255.0f;
  EXPECT_NEAR(PixelAt(grey, 0, 0)[0], 0.5f, 1e-3);              // red * tint, opaque
  EXPECT_NEAR(PixelAt(grey, 1, 0)[1], 1.0f, 1e-3);              // green, opaque
  EXPECT_NEAR(PixelAt(grey, 1, 1)[0], 0.5f * a + 1 - a, 1e-3);  // half white over white
  EXPECT_NEAR(PixelAt(grey, 3, 3)[1], 1.0f * a + 1 - a, 1e-3);
  EXPECT_EQ(grey.depth[0], 1.0f);

  // Farther blended draws are hidden; blended draws leave the depth alone.
  Canvas hidden = grey;
  DrawQuad(hidden, 2.0f, 0, 0, 1, 1, blend);
  EXPECT_EQ(hidden.colour, grey.colour);
}

TEST(PreviewRaster, SamplingWrapsAcrossTheEdgesInBothDirections) {
  TestTexture texture = MakeTexture({kRed, kGreen, kBlue, {1, 1, 1, 1}}, 2, 2);
  struct Case {
    float u, v;
    Rgba expected;
  };
  const Case cases[] = {
      {0.25f, 0.25f, kRed},   // texel centre
      {1.25f, -0.75f, kRed},  // whole tiles away
      {-99.75f, 1000.25f, kRed},
      {0.75f, 0.25f, kGreen},
      {0.0f, 0.25f, {0.5f, 0.5f, 0, 1}},    // between the last and first column
      {0.25f, 0.0f, {0.5f, 0, 0.5f, 1}},    // between the last and first row
      {0.0f, 0.0f, {0.5f, 0.5f, 0.5f, 1}},  // all four corners
  };
  for (const Case& c : cases) {
    Rgba s = SampleWrapped(texture.view, c.u, c.v);
    EXPECT_NEAR(s.r, c.expected.r, 1e-3) << c.u << "," << c.v;
    EXPECT_NEAR(s.g, c.expected.g, 1e-3) << c.u << "," << c.v;
    EXPECT_NEAR(s.b, c.expected.b, 1e-3) << c.u << "," << c.v;
  }
  Rgba nan = SampleWrapped(texture.view, NAN, INFINITY);  // no crash, some texel
  EXPECT_GE(nan.r, 0.0f);
}

TEST(PreviewRaster, TrianglesSharingAnEdgeCoverEachPixelOnce) {
  // Half-transparent red over black: a pixel drawn twice would be redder, one missed black.
  RasterState blend;
  blend.blend = true;
  blend.depthWrite = false;
  blend.tint = {1, 0, 0, 0.5f};
  // The shared diagonal runs through pixel centres: the rule for edges decides them.
  const float corners[][2] = {{0, 0}, {16, 0}, {16, 16}, {0, 16}};
  Canvas canvas = MakeCanvas(16, 16, {0, 0, 0, 1});
  RasterVertex v[4];
  for (int i = 0; i < 4; ++i) v[i] = {corners[i][0], corners[i][1], 0, 0, 0, 1};
  RasterVertex first[3] = {v[0], v[1], v[2]}, second[3] = {v[0], v[3], v[2]};  // mixed windings
  DrawTriangle(canvas, first, blend);
  DrawTriangle(canvas, second, blend);
  int covered = 0;
  for (size_t i = 0; i < canvas.colour.size(); i += 3) {
    float red = canvas.colour[i];
    bool once = std::fabs(red - 0.5f) < 1e-3f;
    EXPECT_TRUE(red == 0.0f || once) << i / 3 << " red " << red;
    covered += once;
  }
  EXPECT_EQ(covered, 256);
  // Degenerate and far-off triangles draw nothing.
  Canvas empty = MakeCanvas(4, 4, {0, 0, 0, 1});
  RasterVertex line[3] = {{0, 0, 0, 0, 0, 1}, {2, 2, 0, 0, 0, 1}, {4, 4, 0, 0, 0, 1}};
  RasterVertex far[3] = {{0, 0, 0, 0, 0, 1}, {1e9f, 0, 0, 0, 0, 1}, {0, 4, 0, 0, 0, 1}};
  DrawTriangle(empty, line, blend);
  DrawTriangle(empty, far, blend);
  EXPECT_EQ(empty.colour, std::vector<float>(48, 0.0f));
}

TEST(PreviewRaster, CaptionsWrapAndTextStaysInsideTheImage) {
  EXPECT_EQ(WrapText("one two three", TextWidth("one two", 1), 1),
            (std::vector<std::string>{"one two", "three"}));
  EXPECT_EQ(WrapText("unbreakableword", 5, 1), std::vector<std::string>{"unbreakableword"});
  const uint8_t black[3] = {0, 0, 0}, white[3] = {255, 255, 255};
  Image image = MakeImage(20, 10, black);
  DrawText(image, 15, 5, "clipped \x01 text", 2, white);  // runs past the edges
  int lit = 0;
  for (uint8_t byte : image.rgb) lit += byte == 255;
  EXPECT_GT(lit, 0);
}

}  // namespace
