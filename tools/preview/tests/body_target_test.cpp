#include "body_targets.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model_import.h"
#include "tiny_model.h"

namespace {

// A trunk, a head whose joint sits a hair above the neck's, and two-joint arms.
const std::vector<TinyJoint> kJoints = {
    {"Spine", {0, 0, 1.0f}, {0, 0, 1.0f}},
    {"Neck", {0, 0, 1.5f}, {0, 0, 1.5f}},
    {"Head", {0, 0, 1.52f}, {0, 0, 1.52f}},
    {"UpperArm_R", {0.2f, 0, 1.4f}, {0.2f, 0, 1.4f}},
    {"ForeArm_R", {0.5f, 0, 1.4f}, {0.5f, 0, 1.4f}},
    {"UpperArm_L", {-0.2f, 0, 1.4f}, {-0.2f, 0, 1.4f}},
};
const std::vector<TinyBox> kBoxes = {
    {{-0.2f, -0.1f, 0.0f}, {0.2f, 0.1f, 1.5f}, "Spine"},
    {{-0.06f, -0.06f, 1.5f}, {0.06f, 0.06f, 1.55f}, "Neck"},
    {{-0.1f, -0.1f, 1.55f}, {0.1f, 0.1f, 1.8f}, "Head"},
    {{0.2f, -0.05f, 1.35f}, {0.5f, 0.05f, 1.45f}, "UpperArm_R"},
    {{0.5f, -0.05f, 1.35f}, {0.8f, 0.05f, 1.45f}, "ForeArm_R"},
    {{-0.5f, -0.05f, 1.35f}, {-0.2f, 0.05f, 1.45f}, "UpperArm_L"},
};

TEST(BodyTarget, ShotsAimAtThePartOfTheMeshTheBoneMoves) {
  TempFolder folder;
  const std::string model = folder.Write("arm.x", TinyModelText(kJoints, kBoxes));
  const std::string map = folder.Write(
      "arm.bones", "Spine 1\nNeck 4\nHead 5\nUpperArm_R 22\nForeArm_R 23\nUpperArm_L 32\n");
  SimHost sim;
  ImportedPed ped;
  std::string error;
  ASSERT_TRUE(ImportPedModel(sim, model, map, {}, ped, error)) << error;
  const Scenario shots =
      ParseScenario("0 shot pistol head\n0 shot pistol right-arm\n0 shot pistol left-arm\n", "t");
  const size_t boxOf[] = {2, 3, 5};  // the box each shot must land in
  const SimGeometry& g = *SimHost::Sim(ped.geometries[0]);
  for (size_t s = 0; s < shots.events.size(); ++s) {
    const Vec3 target = BodyTarget(sim, ped.ped, *shots.events[s].part);
    Vec3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    for (size_t v = 24 * boxOf[s]; v < 24 * (boxOf[s] + 1); ++v) {
      const Vec3 p = g.positions[v];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const char* name = shots.events[s].part->name;
    EXPECT_TRUE(target.x >= lo.x && target.x <= hi.x) << name;
    EXPECT_TRUE(target.y >= lo.y && target.y <= hi.y) << name;
    EXPECT_TRUE(target.z >= lo.z && target.z <= hi.z) << name << " at height " << target.z;
  }
}

}  // namespace
