#include <gtest/gtest.h>

#include "host/sim/sim_math.h"
#include "model_import.h"
#include "tiny_model.h"

namespace {

// A two-box figure whose arm joint's rest place lies far from where the arm was bound.
const std::vector<TinyJoint> kJoints = {{"Spine", {0, 0, 1}, {0, 0, 1}},
                                        {"Arm", {3, -2, 0}, {0.2f, 0, 1.4f}}};
const std::vector<TinyBox> kBoxes = {{{-0.2f, -0.1f, 0.0f}, {0.2f, 0.1f, 1.8f}, "Spine"},
                                     {{0.2f, -0.05f, 1.3f}, {0.8f, 0.05f, 1.45f}, "Arm"}};

// Skinned as the host skins: inverse bind, then the bone's matrix.
Vec3 Skin(const SimSkin& skin, const SimHierarchy& h, const Vec3& p, size_t v) {
  Vec3 sum{0, 0, 0};
  for (size_t k = 0; k < 4; ++k) {
    const float w = skin.weights[4 * v + k];
    const size_t j = (skin.boneIndices[v] >> (8 * k)) & 0xFF;
    if (w > 0.0f)
      sum = sum + TransformPoint(Multiply(skin.inverseBind[j], h.boneMatrices[j]), p) * w;
  }
  return sum;
}

TEST(BindPose, ACharacterIsPosedAsItWasBoundNotInItsRestPose) {
  TempFolder folder;
  const std::string model = folder.Write("bound.x", TinyModelText(kJoints, kBoxes));
  SimHost sim;
  ImportedPed ped;
  std::string error;
  ASSERT_TRUE(ImportPedModel(sim, model, "", {}, ped, error)) << error;
  EXPECT_TRUE(ped.bindPose);
  EXPECT_GT(ped.restFromBind, 1.0f);  // 3.6 m away on a 1.8 m figure
  const SimGeometry& g = *SimHost::Sim(ped.geometries[0]);
  const SimSkin& skin = *SimHost::Sim(g.skin);
  const SimHierarchy& h = *SimHost::Sim(ped.hierarchy);
  for (size_t v = 0; v < g.positions.size(); ++v) {
    const Vec3 posed = Skin(skin, h, g.positions[v], v);
    ASSERT_LT(Length(posed - g.positions[v]), 1e-4f) << "vertex " << v;
  }
}

}  // namespace
