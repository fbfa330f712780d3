// Wounds on a real skinned, animated character that nobody here made (assimp's test
// model), imported as a ped and posed in two animation frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/plugin_paths.h"
#include "model_import.h"
#include "plugin/system_state.h"
#include "render/wound_stamp.h"
#include "support/unique_folder.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"
#include "wounds/wound_placement.h"

namespace {

const char* const kModel = "/usr/share/assimp/models/X/BCN_Epileptic.X";
const WoundProfile kBullet{0.035f, 0.0f, 1.0f, 1, 4};

class WoundOnModel : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSystemState();
    State().host = &sim;
    State().config.Drips = 1;
    dir_ = MakeUniqueTempFolder("vt_wound_on_model").string() + "/";
    SetPluginModulePath((dir_ + "Vermiltrace.asi").c_str());
    OpenLog();
    std::string error;
    ASSERT_TRUE(ImportPedModel(sim, kModel, "", {}, ped, error)) << error;
  }
  void TearDown() override {
    ResetSystemState();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::string LastLogLine() {
    std::ifstream in(dir_ + "Vermiltrace.log", std::ios::binary);
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last;
  }

  PosedMeshSnapshot Pose(double seconds) {
    PoseImportedPed(sim, ped, 0, seconds);
    PosedMeshSnapshot snapshot;
    EXPECT_TRUE(TakePosedMeshSnapshot(Context(), ped.ped, snapshot));
    return snapshot;
  }

  // A shot along the normal of the first mesh's triangle nearest to (0, 0, z), from
  // 1.5 m in front of it: it must meet the mesh, there or in front of it.
  bool ShootAt(const PosedMeshSnapshot& snapshot, float z) {
    const std::vector<Vec3>& posed = snapshot.positions[0];
    const GeometryView view = sim.GetGeometry(sim.MeshGeometry(snapshot.meshes[0]));
    float best = 1e30f;
    Vec3 target{}, normal{};
    for (int32_t t = 0; t < view.triangleCount; ++t) {
      const HostTriangle& tri = view.triangles[t];
      const Vec3 a = posed[tri.vertex[0]], b = posed[tri.vertex[1]], c = posed[tri.vertex[2]];
      const Vec3 n = Cross(b - a, c - a);
      const Vec3 centroid = (a + b + c) * (1.0f / 3.0f);
      const Vec3 off = centroid - Vec3{0, 0, z};
      if (Length(n) < 1e-6f || Dot(off, off) >= best) continue;
      best = Dot(off, off);
      target = centroid;
      normal = n * (1.0f / Length(n));
    }
    return AddWound(
        Context(),
        {ped.ped, target + normal * 1.5f, target - normal * 0.02f, kBullet, "model", {}, {}, {}});
  }

  SimHost sim;
  ImportedPed ped;
  std::string dir_;
};

int PaintedTexels(const std::vector<MaskLayer>& layers) {
  int n = 0;
  for (const MaskLayer& layer : layers) {
    for (uint8_t t : MaskBytes(layer.mask)) n += t != 0;
  }
  return n;
}

TEST_F(WoundOnModel, HitsInTwoAnimationFramesLandOnTheMesh) {
  for (double seconds : {0.5, 1.5}) {
    SCOPED_TRACE(seconds);
    PosedMeshSnapshot snapshot = Pose(seconds);
    for (float z : {1.2f, 1.5f}) {
      EXPECT_TRUE(ShootAt(snapshot, z));
      EXPECT_NE(LastLogLine().find(", ray hit mesh, "), std::string::npos) << LastLogLine();
      EXPECT_EQ(LastLogLine().find(", 0 tris painted"), std::string::npos) << LastLogLine();
    }
  }
  const PedBloodState& state = *FindBloodState(State().tables, ped.ped);
  EXPECT_EQ(state.wounds.size(), 4u);
  EXPECT_GT(PaintedTexels(state.layers), 40);
}

// The wound stays on its triangle: posed again in another frame, or carried elsewhere,
// its centre moves with the mesh while its blood stays on the same texels.
TEST_F(WoundOnModel, WoundsFollowTheMeshWhenItMoves) {
  PosedMeshSnapshot first = Pose(0.5);
  ASSERT_TRUE(ShootAt(first, 1.3f));
  const Wound wound = FindBloodState(State().tables, ped.ped)->wounds.at(0);
  std::vector<MaskLayer> before;
  ASSERT_GT(PaintWound(Context(), before, wound, first, 0.0f), 0);

  PosedMeshSnapshot second = Pose(1.5);
  WoundStamp a, b;
  ASSERT_TRUE(BuildWoundStamp(Context(), wound, first, 0.0f, a));
  ASSERT_TRUE(BuildWoundStamp(Context(), wound, second, 0.0f, b));
  size_t k = 0;
  while (second.meshes[k] != wound.mesh) ++k;
  const HostTriangle& tri = sim.GetGeometry(wound.geometry).triangles[wound.triangle];
  const Vec3 expected = second.positions[k][tri.vertex[0]] * (1.0f - wound.u - wound.v) +
                        second.positions[k][tri.vertex[1]] * wound.u +
                        second.positions[k][tri.vertex[2]] * wound.v;
  EXPECT_LT(Length(b.centre - expected), 1e-5f);
  EXPECT_GT(Length(b.centre - a.centre), 0.05f);  // the animation moved that part

  std::vector<MaskLayer> after;
  ASSERT_GT(PaintWound(Context(), after, wound, second, 0.0f), 0);
  ASSERT_EQ(after.size(), before.size());
  int shared = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    const std::vector<uint8_t> now = MaskBytes(after[i].mask), then = MaskBytes(before[i].mask);
    for (size_t t = 0; t < now.size(); ++t) {
      shared += now[t] != 0 && then[t] != 0;
    }
  }
  EXPECT_GT(shared, PaintedTexels(before) / 2);

  // Carried 5 m away in the same frame: the centre moves along, the refresh repaints it.
  ped.placement.position = {5, 0, 0};
  PosedMeshSnapshot moved = Pose(1.5);
  WoundStamp c;
  ASSERT_TRUE(BuildWoundStamp(Context(), wound, moved, 0.0f, c));
  EXPECT_NEAR(c.centre.x - b.centre.x, 5.0f, 1e-3f);
  EXPECT_NEAR(c.centre.z, b.centre.z, 1e-3f);
  sim.clock = 2000;
  RefreshBloodStates(Context());
  EXPECT_EQ(FindBloodState(State().tables, ped.ped)->layers[0].lastPaint, 2.0f);
}

}  // namespace
