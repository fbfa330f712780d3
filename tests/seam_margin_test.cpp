#include "render/seam_margin.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "host/sim/procedural_ped.h"
#include "render/blood_geometry.h"
#include "render/material_coverage.h"
#include "render/wound_stamp.h"
#include "support/wound_world.h"
#include "wounds/posed_mesh.h"

namespace {

class SeamMargin : public WoundTest {
 protected:
  PosedMeshSnapshot Pose(HostPed* ped) {
    PosedMeshSnapshot snapshot;
    EXPECT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
    return snapshot;
  }

  Wound WoundOn(const PosedMeshSnapshot& snapshot, size_t mesh, int32_t triangle, float radius) {
    return ::WoundOn(sim, snapshot, mesh, triangle, radius);
  }

  std::vector<MaskLayer> Paint(const PosedMeshSnapshot& snapshot, const std::vector<Wound>& wounds,
                               int32_t margin) {
    config.SeamMargin = margin;
    std::vector<MaskLayer> layers;
    for (const Wound& wound : wounds) PaintWound(Context(), layers, wound, snapshot, 2.0f);
    return layers;
  }
};

// A blot far larger than the ped reaches every triangle and paints every texel it may:
// exactly the coverage of each layer's material.
TEST_F(SeamMargin, CoverageHoldsExactlyWhatTheWidestStampPaints) {
  config.MaskSize = 128;
  const ProceduralPed ped = AddProceduralPed(sim);
  const PosedMeshSnapshot snapshot = Pose(ped.ped);
  const std::vector<MaskLayer> layers = Paint(snapshot, {WoundOn(snapshot, 0, 0, 1000.0f)}, 0);
  ASSERT_EQ(layers.size(), 3u);  // body skin and clothes, head
  for (const MaskLayer& layer : layers) {
    const TexelCoverage* coverage =
        GetTexelCoverage(Context(), layer.geometry, layer.materialIndex);
    ASSERT_NE(coverage, nullptr);
    int32_t covered = 0;
    for (int32_t y = 0; y < 128; ++y) {
      for (int32_t x = 0; x < 256; ++x) {
        ASSERT_EQ(MaskAt(layer.mask, x, y) != 0, Covered(*coverage, x, y)) << x << ", " << y;
        covered += Covered(*coverage, x, y);
      }
    }
    EXPECT_GT(covered, 500);
    EXPECT_LT(covered, 256 * 128 * 7 / 8);  // islands, not the whole mask
  }
  // A new copy of the geometry starts without coverages.
  SimHost::Sim(ped.headGeometry)->skin = sim.AddSkin();
  GetBloodGeometry(Context(), ped.headGeometry);
  EXPECT_TRUE(tables.bloodGeometryCache.at(ped.headGeometry).coverages.empty());
}

// Uncovered texels within the margin take the largest covered amount at their distance;
// every other texel is as without a margin. On the procedural ped, and on a grid whose
// island ends at the mask's right and bottom edges, so that its margin wraps.
TEST_F(SeamMargin, TakesTheLargestCoveredAmountWithinItsDistance) {
  GridSpec corner;
  corner.uv0 = {1.55f, 0.6f};
  corner.uv1 = {2.0f, 1.0f};  // texels 99 ... 127 across, 38 ... 63 down
  const ProceduralPed ped = AddProceduralPed(sim);
  const PosedMeshSnapshot pedPose = Pose(ped.ped);
  const PosedMeshSnapshot gridPose = Pose(AddPedWith({AddGrid(corner)}));
  std::vector<Wound> onPed;
  for (size_t mesh = 0; mesh < pedPose.meshes.size(); ++mesh) {
    const int32_t count =
        Host().GetGeometry(Host().MeshGeometry(pedPose.meshes[mesh])).triangleCount;
    for (int32_t t = 0; t < count; t += 83) onPed.push_back(WoundOn(pedPose, mesh, t, 0.06f));
  }
  const struct {
    const PosedMeshSnapshot& snapshot;
    std::vector<Wound> wounds;
  } cases[] = {{pedPose, onPed},
               {gridPose, {WoundOn(gridPose, 0, 127, 0.1f), WoundOn(gridPose, 0, 14, 0.1f)}}};
  const int32_t w = 128, h = 64, margin = 2;
  for (const auto& c : cases) {
    const std::vector<MaskLayer> plain = Paint(c.snapshot, c.wounds, 0);
    const std::vector<MaskLayer> grown = Paint(c.snapshot, c.wounds, margin);
    ASSERT_EQ(plain.size(), grown.size());
    int filled = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
      const TexelCoverage& coverage =
          *GetTexelCoverage(Context(), plain[i].geometry, plain[i].materialIndex);
      const auto near = [&](int32_t x, int32_t y, int32_t d, int32_t& most) {
        bool any = false;
        for (int32_t j = y - d; j <= y + d; ++j) {
          for (int32_t k = x - d; k <= x + d; ++k) {
            const int32_t cx = (k + w) % w, cy = (j + h) % h;
            if (!Covered(coverage, cx, cy)) continue;
            any = true;
            most = std::max<int32_t>(most, MaskAt(plain[i].mask, cx, cy));
          }
        }
        return any;
      };
      const TexelRect& changed = grown[i].changed;
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          int32_t expected = MaskAt(plain[i].mask, x, y), most = 0;
          for (int32_t d = 1; d <= margin && !Covered(coverage, x, y); ++d) {
            if (!near(x, y, d, most)) continue;
            expected = most;
            break;
          }
          const uint8_t actual = MaskAt(grown[i].mask, x, y);
          ASSERT_EQ(actual, expected) << "layer " << i << " at " << x << ", " << y;
          filled += actual != 0 && !Covered(coverage, x, y);
          if (actual != 0) {
            EXPECT_TRUE(x >= changed.x0 && x < changed.x1 && y >= changed.y0 && y < changed.y1);
          }
        }
      }
    }
    EXPECT_GT(filled, 20);
  }
}

// Blocks of 16 texels on a 128 x 64 mask (8 x 4 blocks): the box grown by the margin,
// wrapping at the edges.
TEST(SeamBlocks, MarkTheBoxGrownByTheMarginWrapping) {
  const struct {
    TexelRect box;
    int32_t margin;
    std::vector<std::pair<int, int>> blocks;  // (across, down)
  } cases[] = {
      {{20, 20, 30, 30}, 2, {{1, 1}}}, {{17, 17, 18, 18}, 2, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
      {{17, 17, 18, 18}, 1, {{1, 1}}}, {{126, 62, 128, 64}, 2, {{0, 0}, {7, 0}, {0, 3}, {7, 3}}},
      {{-3, 70, -1, 72}, 0, {{7, 0}}},  // a box a tile over
      {{5, 5, 5, 9}, 2, {}},            // empty
  };
  for (const auto& c : cases) {
    SeamBlocks blocks;
    MarkSeamBlocks(blocks, 128, 64, c.box, c.margin);
    std::vector<std::pair<int, int>> marked;
    for (size_t b = 0; b < blocks.bits.size() * 64; ++b) {
      if ((blocks.bits[b / 64] >> (b % 64)) & 1u) marked.push_back({int(b % 8), int(b / 8)});
    }
    std::sort(marked.begin(), marked.end());
    std::vector<std::pair<int, int>> expected = c.blocks;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(marked, expected) << c.box.x0 << ", " << c.box.y0 << " margin " << c.margin;
  }
}

}  // namespace
