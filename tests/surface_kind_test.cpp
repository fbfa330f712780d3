#include "render/surface_kind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "render/wound_stamp.h"
#include "support/wound_world.h"
#include "wounds/posed_mesh.h"

namespace {

TEST(SurfaceKind, NamesMatchWithoutRegardToCaseSkinFirst) {
  BloodConfig config;
  config.SkinTextures = {"body", "both"};
  config.ClothTextures = {"shirt", "both"};
  const struct {
    const char* name;
    SurfaceKind kind;
  } cases[] = {{"Body", SurfaceKind::kSkin}, {"SHIRT", SurfaceKind::kCloth},
               {"both", SurfaceKind::kSkin}, {"shirt2", SurfaceKind::kPlain},
               {"", SurfaceKind::kPlain},    {"bo dy", SurfaceKind::kPlain}};
  for (const auto& c : cases) EXPECT_EQ(TextureSurfaceKind(config, c.name), c.kind) << c.name;
}

class SurfacePainting : public WoundTest {
 protected:
  // The blot's width and how far below it the blood runs, in texel rows, for a wound
  // with two drips on a wall whose texture has name, after the wound's whole flow.
  struct Extent {
    int width, below;
  };
  Extent Paint(const std::string& name) {
    config.MaskSize = 256;
    HostGeometry* wall = AddGrid(GridSpec{});
    SimHost::Sim(SimHost::Sim(wall)->materials[0])->texture = sim.AddTexture(4, 4, name);
    HostPed* ped = AddPedWith({wall});
    PosedMeshSnapshot snapshot;
    EXPECT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
    Wound wound = WoundOn(sim, snapshot, 0, 2 * (4 * 8 + 4), 0.04f);  // the middle of the wall
    wound.dripCount = 2;
    for (int i = 0; i < 2; ++i) {
      wound.dripOffset[i] = i ? 0.01f : -0.01f;
      wound.dripLength[i] = 0.2f;
      wound.dripWidth[i] = 0.005f;
    }
    std::vector<MaskLayer> layers;
    EXPECT_GT(PaintWound(Context(), layers, wound, snapshot, config.FlowTime), 0);
    EXPECT_EQ(layers.size(), 1u);
    if (layers.empty()) return {0, 0};
    const BloodMask& mask = layers[0].mask;
    int x0 = mask.width, x1 = -1, y0 = mask.height, y1 = -1;
    for (int32_t y = 0; y < mask.height; ++y) {
      for (int32_t x = 0; x < mask.width; ++x) {
        if (!MaskAt(mask, x, y)) continue;
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
      }
    }
    // The wall's v grows upwards: the drips run to lower rows.
    return {x1 - x0 + 1, (y1 - y0 + 1) - (x1 - x0 + 1) / 2};
  }
};

// Cloth soaks the blood into a wider stain with hardly any run; skin keeps the blot
// tighter than an unlisted texture and the drips whole.
TEST_F(SurfacePainting, ClothSpreadsSkinRuns) {
  const Extent plain = Paint("wall");
  config.SkinTextures = {"wall"};
  const Extent skin = Paint("Wall");
  config.SkinTextures = {};
  config.ClothTextures = {"wall"};
  const Extent cloth = Paint("WALL");
  EXPECT_GT(cloth.width, plain.width * 5 / 4) << cloth.width << " " << plain.width;
  EXPECT_LT(skin.width, plain.width) << skin.width << " " << plain.width;
  EXPECT_GE(skin.below, plain.below * 9 / 10) << skin.below << " " << plain.below;
  EXPECT_LT(cloth.below, plain.below / 3) << cloth.below << " " << plain.below;
}

// On an upright wall (no flatness), a blot starts at a share of its full radius and closes
// the gap like 1 - e^(-age / growth time); each surface scales the radius and sets where
// the edge starts to fade.
TEST_F(WoundTest, EachSurfaceScalesGrowsAndFadesItsBlot) {
  HostGeometry* wall = AddGrid(GridSpec{});
  HostPed* ped = AddPedWith({wall});
  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  const Wound wound = WoundOn(sim, snapshot, 0, 0, 0.04f);
  const struct {
    SurfaceKind kind;
    float radiusScale, growthSeconds, edgeInner;
  } rows[] = {{SurfaceKind::kPlain, 1.0f, 1.2f, 0.5f},
              {SurfaceKind::kSkin, 0.85f, 1.2f, 0.5f},
              {SurfaceKind::kCloth, 1.4f, 3.0f, 0.2f}};
  auto radius = [&](SurfaceKind kind, float age) {
    WoundStamp stamp;
    EXPECT_TRUE(BuildWoundStamp(Context(), wound, snapshot, age, stamp, kind));
    EXPECT_EQ(stamp.flatness, 0.0f);
    return stamp.radius;
  };
  const float plainStart = radius(SurfaceKind::kPlain, 0.0f);
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.kind));
    const float start = radius(row.kind, 0.0f), full = radius(row.kind, 1000.0f);
    EXPECT_NEAR(start / plainStart, row.radiusScale, 1e-4f);
    EXPECT_NEAR((radius(row.kind, row.growthSeconds) - start) / (full - start),
                1.0f - std::exp(-1.0f), 1e-4f);
    WoundStamp stamp;
    ASSERT_TRUE(BuildWoundStamp(Context(), wound, snapshot, 0.0f, stamp, row.kind));
    EXPECT_EQ(stamp.edgeInner, row.edgeInner);
  }
}

}  // namespace
