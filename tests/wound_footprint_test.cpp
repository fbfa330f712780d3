#include "render/wound_footprint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/sim/procedural_ped.h"
#include "support/wound_world.h"
#include "wounds/posed_mesh.h"

namespace {

// Two wounds on the procedural ped's chest and arm, with drips (and a cut) as given.
std::vector<Wound> ChestAndArm(HostGame& host, const PosedMeshSnapshot& snapshot, float cut,
                               int32_t drips) {
  std::vector<Wound> wounds;
  for (int32_t triangle : {40, 300}) {
    Wound wound{};
    wound.mesh = snapshot.meshes[0];
    wound.geometry = host.MeshGeometry(wound.mesh);
    wound.triangle = triangle;
    wound.u = 0.3f;
    wound.v = 0.25f;
    wound.radius = 0.04f;
    wound.cut = cut;
    wound.angle = 0.7f;
    wound.bleed = 0.9f;
    wound.dripCount = drips;
    for (int i = 0; i < drips; ++i) {
      wound.dripOffset[i] = 0.01f * static_cast<float>(i - 1);
      wound.dripLength[i] = 0.12f + 0.05f * static_cast<float>(i);
      wound.dripWidth[i] = 0.006f;
    }
    wounds.push_back(wound);
  }
  return wounds;
}

void ExpectSameLayers(const std::vector<MaskLayer>& a, const std::vector<MaskLayer>& b,
                      const std::string& where) {
  ASSERT_EQ(a.size(), b.size()) << where;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].mesh, b[i].mesh) << where;
    EXPECT_EQ(a[i].materialIndex, b[i].materialIndex) << where;
    EXPECT_EQ(a[i].lastPaint, b[i].lastPaint) << where;
    EXPECT_EQ(a[i].dirty, b[i].dirty) << where;
    EXPECT_TRUE(MaskBytes(a[i].mask) == MaskBytes(b[i].mask)) << where << ", layer " << i;
  }
}

constexpr float kAges[] = {0.0f, 0.1f, 0.2f, 0.45f, 0.8f, 1.3f, 2.1f, 3.4f, 5.0f, 6.9f, 8.0f};

class WoundFootprintTest : public WoundTest {
 protected:
  ProceduralPed ped;
  PedBloodState state;  // keeps the pose versions

  PosedMeshSnapshot Pose(float heading) {
    PedPlacement placement;
    placement.heading = heading;
    PoseProceduralPed(sim, ped, placement);
    PosedMeshSnapshot snapshot;
    EXPECT_TRUE(TakePosedMeshSnapshot(Context(), ped.ped, snapshot));
    return snapshot;
  }
};

// While the pose holds, painting through a footprint gives what painting afresh gives at
// every age: every byte, the layers in the order they were made, their painting times and
// the triangle counts. Plain, cloth and skin, with drips, a cut and the seam margin. The
// paint budget's estimate of each painting is within a factor of three of what it took
// (how many of the texels a listing visits it lists is only known once it has).
TEST_F(WoundFootprintTest, PaintsWhatAFreshPaintingPaints) {
  struct Case {
    const char* name;
    int32_t maskSize, margin;
    bool surfaces;
    float cut;
    int32_t drips;
  };
  const Case cases[] = {
      {"plain, drips", 128, 0, false, 0.0f, 3},
      {"cloth and skin, cut, margin", 256, 2, true, 0.02f, 2},
      {"no drips, margin", 64, 1, false, 0.0f, 0},
  };
  for (const Case& c : cases) {
    config.MaskSize = c.maskSize;
    config.SeamMargin = c.margin;
    config.SkinTextures =
        c.surfaces ? std::vector<std::string>{"vt_ped_skin"} : std::vector<std::string>{};
    config.ClothTextures =
        c.surfaces ? std::vector<std::string>{"vt_ped_clothes"} : std::vector<std::string>{};
    ped = AddProceduralPed(sim);
    const PosedMeshSnapshot snapshot = Pose(0.0f);
    std::vector<Wound> wounds = ChestAndArm(sim, snapshot, c.cut, c.drips);
    std::vector<MaskLayer> fresh, kept;
    for (float age : kAges) {
      sim.clock += 100;
      for (Wound& wound : wounds) {
        const int32_t expected = PaintWound(Context(), fresh, wound, snapshot, age);
        const uint32_t version = NotePose(Context(), state, snapshot);
        // The paint budget's estimate of the painting, listing included, before it runs.
        const uint32_t estimate = PaintingWork(config, wound, age, version);
        EXPECT_EQ(PaintFlowingWound(Context(), kept, wound, snapshot, age, version), expected)
            << c.name << " at " << age;
        EXPECT_GT(expected, 0) << c.name;
        if (age > 0.0f) {
          EXPECT_GE(3 * estimate, wound.work) << c.name << " at " << age;
          EXPECT_LE(estimate, 3 * wound.work + 16) << c.name << " at " << age;
        }
      }
      ExpectSameLayers(kept, fresh, std::string(c.name) + " at " + std::to_string(age));
    }
    EXPECT_NE(wounds[0].footprint, nullptr) << c.name;
  }
}

// With FollowPose off a wound keeps the shape of its first painting however the ped moves
// after; with it on, a ped that moved is painted afresh in its new pose.
TEST_F(WoundFootprintTest, FollowsThePoseOnlyWhenAskedTo) {
  config.MaskSize = 128;
  for (int32_t follow : {0, 1}) {
    config.FollowPose = follow;
    ped = AddProceduralPed(sim);
    const PosedMeshSnapshot still = Pose(0.0f);
    std::vector<Wound> wounds = ChestAndArm(sim, still, 0.0f, 3);
    std::vector<Wound> reference = wounds;
    std::vector<MaskLayer> moving, expected;
    int step = 0;
    for (float age : kAges) {
      sim.clock += 100;
      // The pose holds for two paintings, then moves, so that footprints are made and dropped.
      const PosedMeshSnapshot now = Pose((step++ / 2) % 2 ? 0.2f : 0.0f);
      for (size_t i = 0; i < wounds.size(); ++i) {
        PaintFlowingWound(Context(), moving, wounds[i], now, age, NotePose(Context(), state, now));
        if (follow) {
          PaintWound(Context(), expected, reference[i], now, age);
        } else {
          PaintFlowingWound(Context(), expected, reference[i], still, age, 0);
        }
      }
    }
    ExpectSameLayers(moving, expected, "FollowPose " + std::to_string(follow));
  }
}

// A listing cut short by the budget's limit stops near it, counting what the texels it
// lists cost (their noise and wake ages), not only the texels it visits; what is left
// goes on at the next painting.
TEST_F(WoundFootprintTest, AListingStopsWhereItsListedTexelsReachTheLimit) {
  config.MaskSize = 1024;
  config.FollowPose = 0;
  ped = AddProceduralPed(sim);
  const PosedMeshSnapshot snapshot = Pose(0.0f);
  Wound wound = ChestAndArm(sim, snapshot, 0.0f, 3)[0];
  std::vector<MaskLayer> layers;
  PaintFlowingWound(Context(), layers, wound, snapshot, 0.0f, 0);
  ASSERT_NE(wound.footprint, nullptr);
  constexpr size_t kLimit = 20000;
  const size_t before = wound.footprint->listed;
  PaintFlowingWound(Context(), layers, wound, snapshot, 0.5f, 0, nullptr, kLimit);
  ASSERT_TRUE(PaintingCutShort(wound));
  const size_t listed = wound.footprint->listed - before;
  EXPECT_GT(listed, 0u);
  // Twelve evaluations a listed texel; the last triangle may overrun the limit.
  EXPECT_LE(12 * listed, 2 * kLimit);
  EXPECT_GE(wound.work, kLimit);
}

}  // namespace
