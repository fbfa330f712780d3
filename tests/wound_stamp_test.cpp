#include "render/wound_stamp.h"
#include "wounds/posed_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "render/blood_geometry.h"
#include "render/value_noise.h"
#include "support/wound_world.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A wide blot around the origin: every texel of a small triangle near it is painted.
WoundStamp WideStamp() {
  WoundStamp stamp{};
  stamp.centre = {0, 0, 0};
  stamp.normal = {0, -1, 0};
  stamp.down = {0, 0, -1};
  stamp.side = Cross(stamp.normal, stamp.down);
  stamp.axis = {1, 0, 0};
  stamp.radius = 10.0f;
  stamp.bleed = 1.0f;
  return stamp;
}

const Vec3 kSmall[3] = {{0, 0, 0}, {0.1f, 0, 0}, {0, 0, 0.1f}};

Wound MakeWound(HostMesh* mesh, HostGeometry* geometry, int32_t triangle) {
  Wound wound{};
  wound.mesh = mesh;
  wound.geometry = geometry;
  wound.triangle = triangle;
  wound.u = wound.v = 1.0f / 3.0f;
  wound.radius = 0.05f;
  wound.bleed = 1.0f;
  return wound;
}

class WoundStamping : public WoundTest {
 protected:
  MaskLayer Layer() {
    std::vector<MaskLayer> layers;
    return GetOrCreateLayer(Context(), layers, nullptr, 0);
  }
  static int Painted(const MaskLayer& layer) {
    int n = 0;
    for (uint8_t t : MaskBytes(layer.mask)) n += t != 0;
    return n;
  }
};

TEST_F(WoundStamping, NoiseAndJitterHaveTheirFixedValues) {
  EXPECT_EQ(TexelJitter(0, 0), 20240u);
  EXPECT_NEAR(TexelJitter(0, 0) / 65535.0f * 0.4f + 0.8f, 0.9235f, 1e-4f);
  EXPECT_EQ(ValueNoise3(0, 0, 0), 0.0f);
  EXPECT_NEAR(ValueNoise3(0.5f, 0.5f, 0.5f), 0.3430f, 1e-4f);
  // Integer points are the corners themselves; negative ones hash their wrapped lattice.
  EXPECT_EQ(ValueNoise3(-1, 0, 0), ValueNoise3(-1.0f, -0.0f, 0.0f));
  float lowest = 1, highest = 0;
  for (int i = 0; i < 2000; ++i) {
    float n = ValueNoise3(i * 0.37f - 300.0f, i * 0.11f, i * -0.53f);
    lowest = std::min(lowest, n);
    highest = std::max(highest, n);
  }
  EXPECT_GE(lowest, 0.0f);
  EXPECT_LE(highest, 1.0f);
  EXPECT_GT(highest - lowest, 0.5f);
  // Beyond the 32-bit lattice, or not a number: 0 instead of an undefined conversion.
  for (float bad : {kNaN, kInf, -kInf, 3e9f, -3e9f}) {
    EXPECT_EQ(ValueNoise3(bad, 0.5f, 0.5f), 0.0f);
    EXPECT_EQ(ValueNoise3(0.5f, 0.5f, bad), 0.0f);
  }
}

// The painter's clamp, whichever way it is computed: NaN and -0 end at +0.
TEST(ValueNoiseClamp, ClampsToTheUnitRangeAndNotANumberToZero) {
  const std::pair<float, float> cases[] = {{kNaN, 0.0f},       {-kInf, 0.0f},  {-0.0f, 0.0f},
                                           {-1e-30f, 0.0f},    {0.25f, 0.25f}, {1.0f, 1.0f},
                                           {1.0000001f, 1.0f}, {kInf, 1.0f}};
  for (const auto& c : cases) {
    const float clamped = value_noise::Clamp01(c.first);
    EXPECT_EQ(clamped, c.second) << c.first;
    EXPECT_FALSE(std::signbit(clamped)) << c.first;
  }
}

TEST_F(WoundStamping, StampFollowsTheSurfaceAndAge) {
  config.FlowTime = 8.0f;
  GridSpec level;
  level.dv = {0, 1, 0};  // normal straight up
  HostGeometry* wall = AddGrid(GridSpec{});
  HostGeometry* floor = AddGrid(level);
  HostPed* ped = AddPedWith({wall, floor});
  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  Wound onWall = MakeWound(snapshot.meshes[0], wall, 40);
  onWall.bleed = 0.5f;
  onWall.dripCount = 2;
  onWall.dripLength[0] = onWall.dripLength[1] = 0.2f;
  Wound onFloor = onWall;
  onFloor.mesh = snapshot.meshes[1];
  onFloor.geometry = floor;

  WoundStamp stamp;
  ASSERT_TRUE(BuildWoundStamp(Context(), onWall, snapshot, 0.0f, stamp));
  EXPECT_FLOAT_EQ(stamp.radius, (0.5f * 0.6f + 0.4f) * 0.05f * 0.45f);
  EXPECT_EQ(stamp.flatness, 0.0f);
  EXPECT_FLOAT_EQ(stamp.down.z, -1.0f);
  EXPECT_FLOAT_EQ(stamp.normal.y, -1.0f);
  EXPECT_EQ(stamp.dripSpan[0], 0.001f);
  ASSERT_TRUE(BuildWoundStamp(Context(), onWall, snapshot, 8.0f, stamp));
  EXPECT_NEAR(stamp.dripSpan[0], 0.2f * 0.95f, 0.001f);

  ASSERT_TRUE(BuildWoundStamp(Context(), onFloor, snapshot, 8.0f, stamp));
  EXPECT_EQ(stamp.flatness, 1.0f);
  EXPECT_EQ(stamp.dripSpan[1], 0.001f);
  const Vec3 b = Cross(stamp.normal, {1, 0, 0});  // N x T, T along the first edge
  EXPECT_FLOAT_EQ(stamp.down.y, b.y);
  const float f1 = 1.0f - std::exp(-8.0f / 1.2f);
  EXPECT_FLOAT_EQ(stamp.radius, 0.7f * 0.05f * (f1 * 0.55f + 0.45f) * (0.6f * f1 + 1.0f));
}

TEST_F(WoundStamping, StampRefusesWoundsItCannotPose) {
  HostGeometry* wall = AddGrid(GridSpec{});
  HostPed* ped = AddPedWith({wall});
  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  HostMesh* mesh = snapshot.meshes[0];
  WoundStamp stamp;
  EXPECT_FALSE(BuildWoundStamp(Context(), MakeWound(sim.AddMesh(nullptr, wall), wall, 0), snapshot,
                               0, stamp));
  EXPECT_FALSE(
      BuildWoundStamp(Context(), MakeWound(mesh, AddGrid(GridSpec{}), 0), snapshot, 0, stamp));
  EXPECT_FALSE(BuildWoundStamp(Context(), MakeWound(mesh, wall, 256), snapshot, 0, stamp));
  EXPECT_FALSE(BuildWoundStamp(Context(), MakeWound(mesh, wall, -1), snapshot, 0, stamp));
  SimHost::Sim(wall)->triangles[3].vertex[1] = 60000;
  EXPECT_FALSE(BuildWoundStamp(Context(), MakeWound(mesh, wall, 3), snapshot, 0, stamp));
  snapshot.positions[0][0] = snapshot.positions[0][1];  // degenerate triangle 0
  EXPECT_FALSE(BuildWoundStamp(Context(), MakeWound(mesh, wall, 0), snapshot, 0, stamp));
  snapshot.positions[0][1].x = kNaN;
  EXPECT_FALSE(BuildWoundStamp(Context(), MakeWound(mesh, wall, 1), snapshot, 0, stamp));
  snapshot.positions[0].clear();
  EXPECT_FALSE(BuildWoundStamp(Context(), MakeWound(mesh, wall, 5), snapshot, 0, stamp));
  std::vector<MaskLayer> layers;
  EXPECT_EQ(PaintWound(Context(), layers, MakeWound(mesh, wall, 5), snapshot, 0), 0);
}

TEST_F(WoundStamping, TexelsFoldByWholeTilesAndWrapAtTheEdges) {
  const TexCoord base[3] = {{0.2f, 0.3f}, {0.3f, 0.3f}, {0.2f, 0.4f}};
  const TexCoord shifted[3] = {{1.2f, 0.3f}, {1.3f, 0.3f}, {1.2f, 2.4f - 2.0f}};
  MaskLayer a = Layer(), b = Layer();
  ASSERT_TRUE(PaintTriangle(a, config.MaskSize, kSmall, base, WideStamp()));
  ASSERT_TRUE(PaintTriangle(b, config.MaskSize, kSmall, shifted, WideStamp()));
  EXPECT_GT(Painted(a), 50);
  EXPECT_EQ(MaskBytes(a.mask), MaskBytes(b.mask));

  // A corner that spills over the right and bottom edges lands at the left and top.
  const int w = 128, h = 64;
  const TexCoord corner[3] = {{0.97f, 0.95f}, {1.03f, 0.95f}, {0.97f, 1.05f}};
  MaskLayer c = Layer();
  ASSERT_TRUE(PaintTriangle(c, config.MaskSize, kSmall, corner, WideStamp()));
  auto at = [&](int x, int y) { return MaskAt(c.mask, x, y); };
  EXPECT_NE(at(w - 2, h - 2), 0);  // inside, before the edges
  EXPECT_NE(at(1, h - 2), 0);      // columns past the right edge
  EXPECT_NE(at(w - 2, 1), 0);      // rows past the bottom edge
  EXPECT_EQ(at(w / 2, h / 2), 0);
}

TEST_F(WoundStamping, AmountsOnlyGrow) {
  const TexCoord uv[3] = {{0.2f, 0.3f}, {0.3f, 0.3f}, {0.2f, 0.4f}};
  MaskLayer fresh = Layer();
  ASSERT_TRUE(PaintTriangle(fresh, config.MaskSize, kSmall, uv, WideStamp()));
  for (uint8_t preset : {200, 255}) {
    MaskLayer layer = Layer();
    for (int32_t y = 0; y < layer.mask.height; ++y) {
      for (int32_t x = 0; x < layer.mask.width; ++x) SetMaskAt(layer.mask, x, y, preset);
    }
    ASSERT_TRUE(PaintTriangle(layer, config.MaskSize, kSmall, uv,
                              WideStamp()));  // counts even if unchanged
    const std::vector<uint8_t> painted = MaskBytes(layer.mask), alone = MaskBytes(fresh.mask);
    for (size_t i = 0; i < painted.size(); ++i) {
      ASSERT_EQ(painted[i], std::max<uint8_t>(preset, alone[i])) << i;
    }
  }
}

// W = 128: x = u * 128 - 0.5 and the bounds reach one texel beyond; a span of exactly
// 2 W passes, anything wider does not.
TEST_F(WoundStamping, TrianglesThatCannotBeRasterisedPaintNothing) {
  struct Case {
    const char* name;
    TexCoord uv[3];
    bool painted;
  } cases[] = {
      {"span of exactly twice the mask", {{0, 0.3f}, {1.98046875f, 0.3f}, {0, 0.4f}}, true},
      {"wider than twice the mask", {{0, 0.3f}, {1.99f, 0.3f}, {0, 0.4f}}, false},
      {"taller than twice the mask", {{0.2f, 0}, {0.3f, 0}, {0.2f, 2.5f}}, false},
      {"no area", {{0.2f, 0.3f}, {0.3f, 0.3f}, {0.4f, 0.3f}}, false},
      {"NaN", {{kNaN, 0.3f}, {0.3f, 0.3f}, {0.2f, 0.4f}}, false},
      {"NaN second", {{0.2f, 0.3f}, {0.3f, kNaN}, {0.2f, 0.4f}}, false},
      {"infinite", {{0.2f, 0.3f}, {kInf, 0.3f}, {0.2f, 0.4f}}, false},
      {"far apart", {{-3e38f, 0.3f}, {3e38f, 0.3f}, {0.2f, 0.4f}}, false},
      {"huge but equal", {{1e9f, 0.3f}, {1e9f, 0.3f}, {1e9f, 0.4f}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MaskLayer layer = Layer();
    EXPECT_EQ(PaintTriangle(layer, config.MaskSize, kSmall, c.uv, WideStamp()), c.painted);
    EXPECT_EQ(Painted(layer) > 0, c.painted);
  }
  const TexCoord uv[3] = {{0.2f, 0.3f}, {0.3f, 0.3f}, {0.2f, 0.4f}};
  MaskLayer layer = Layer();
  WoundStamp dry = WideStamp();
  dry.bleed = 0.0f;
  EXPECT_FALSE(PaintTriangle(layer, config.MaskSize, kSmall, uv, dry));
  dry.bleed = kNaN;
  EXPECT_FALSE(PaintTriangle(layer, config.MaskSize, kSmall, uv, dry));
  const Vec3 broken[3] = {{0, 0, 0}, {kNaN, 0, 0}, {0, 0, 0.1f}};
  EXPECT_FALSE(PaintTriangle(layer, config.MaskSize, broken, uv, WideStamp()));
  config.MaskSize = 128;  // the layer was made for 64
  EXPECT_FALSE(PaintTriangle(layer, config.MaskSize, kSmall, uv, WideStamp()));
  EXPECT_EQ(Painted(layer), 0);
}

TEST_F(WoundStamping, WoundNearTheSeamOfTwoMeshesPaintsBoth) {
  GridSpec left, right;
  left.origin = {-0.5f, 0, 0};
  left.du = right.du = {0.5f, 0, 0};
  right.origin = {0, 0, 0};
  right.material = 1;
  HostGeometry* a = AddGrid(left);
  HostGeometry* b = AddGrid(right);
  HostPed* ped = AddPedWith({a, b});
  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  // Last column of the left grid, row 4: its centroid is 2 cm from the seam.
  Wound wound = MakeWound(snapshot.meshes[0], a, 2 * (4 * 8 + 7) + 1);
  std::vector<MaskLayer> layers;
  sim.clock = 2500;
  EXPECT_GT(PaintWound(Context(), layers, wound, snapshot, 1.0f), 2);
  ASSERT_EQ(layers.size(), 2u);
  EXPECT_EQ(layers[0].mesh, snapshot.meshes[0]);
  EXPECT_EQ(layers[1].mesh, snapshot.meshes[1]);
  EXPECT_EQ(layers[1].materialIndex, 1);
  EXPECT_EQ(layers[1].geometry, b);
  for (const MaskLayer& layer : layers) {
    EXPECT_GT(Painted(layer), 0);
    EXPECT_TRUE(layer.dirty);
    EXPECT_EQ(layer.lastPaint, 2.5f);
  }
  std::vector<uint8_t> before = MaskBytes(layers[0].mask);
  sim.clock = 3000;
  layers[0].dirty = false;
  PaintWound(Context(), layers, wound, snapshot, 1.0f);
  EXPECT_EQ(layers[0].lastPaint, 3.0f);
  EXPECT_TRUE(layers[0].dirty);
  EXPECT_EQ(MaskBytes(layers[0].mask), before);
  // Once uploaded, a repaint that raises nothing leaves the texture as it is.
  layers[0].dirty = false;
  layers[0].changed = TexelRect{};
  sim.clock = 3500;
  PaintWound(Context(), layers, wound, snapshot, 1.0f);
  EXPECT_EQ(layers[0].lastPaint, 3.5f);
  EXPECT_FALSE(layers[0].dirty);
  EXPECT_EQ(&GetOrCreateLayer(Context(), layers, snapshot.meshes[1], 1), &layers[1]);
}

TEST_F(WoundStamping, BrokenTrianglesOfOtherMeshesAreSkipped) {
  HostGeometry* a = AddGrid(GridSpec{});
  HostGeometry* b = AddGrid(GridSpec{});
  HostPed* ped = AddPedWith({a, b});
  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  ASSERT_NE(GetBloodGeometry(Context(), b), nullptr);
  for (HostTriangle& t : SimHost::Sim(b)->triangles) t.vertex[2] = 60000;
  snapshot.positions[1][0] = {kInf, 0, 0};
  std::vector<MaskLayer> layers;
  EXPECT_GT(PaintWound(Context(), layers, MakeWound(snapshot.meshes[0], a, 100), snapshot, 0.0f),
            0);
  ASSERT_EQ(layers.size(), 1u);
}

}  // namespace
