#include "body_layout.h"

#include <gtest/gtest.h>

#include <map>

#include "model_import.h"
#include "tiny_model.h"

namespace {

struct Box {
  Vec3 lo, hi;
  bool Holds(Vec3 p) const {
    return p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z;
  }
};

// A jointless figure 1.8 m tall, facing +y, its right side at +x, arms held out.
const Box kHead{{-0.1f, -0.1f, 1.55f}, {0.1f, 0.1f, 1.8f}};
const Box kTrunk{{-0.2f, -0.12f, 0.85f}, {0.2f, 0.12f, 1.5f}};
const Box kNeck{{-0.2f, -0.12f, 1.45f}, {0.2f, 0.12f, 1.6f}};  // where trunk and head meet
const Box kRightArm{{0.2f, -0.05f, 1.35f}, {0.85f, 0.05f, 1.45f}};
const Box kLeftArm{{-0.85f, -0.05f, 1.35f}, {-0.2f, 0.05f, 1.45f}};
const Box kRightLeg{{0.03f, -0.08f, 0.0f}, {0.18f, 0.08f, 0.85f}};
const Box kLeftLeg{{-0.18f, -0.08f, 0.0f}, {-0.03f, 0.08f, 0.85f}};

std::vector<Vec3> Sample(const std::vector<Box>& boxes) {
  constexpr float kStep = 0.02f;
  std::vector<Vec3> points;
  for (const Box& b : boxes) {
    for (float x = b.lo.x; x <= b.hi.x; x += kStep) {
      for (float y = b.lo.y; y <= b.hi.y; y += kStep) {
        for (float z = b.lo.z; z <= b.hi.z; z += kStep) points.push_back({x, y, z});
      }
    }
  }
  return points;
}

TEST(BodyLayout, PlacesEveryBoneOnItsPartOfAJointlessFigure) {
  std::map<int32_t, Vec3> at;
  for (const auto& bone :
       GuessBodyLayout(Sample({kHead, kTrunk, kRightArm, kLeftArm, kRightLeg, kLeftLeg}))) {
    at[bone.first] = bone.second;
  }
  const struct {
    int32_t bone;
    const Box& box;
  } cases[] = {
      {5, kHead},      {4, kNeck},      {3, kTrunk},     {2, kTrunk},    {1, kTrunk},
      {22, kRightArm}, {23, kRightArm}, {24, kRightArm}, {32, kLeftArm}, {33, kLeftArm},
      {34, kLeftArm},  {41, kLeftLeg},  {42, kLeftLeg},  {43, kLeftLeg}, {51, kRightLeg},
      {52, kRightLeg}, {53, kRightLeg},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(at.count(c.bone), 1u) << c.bone;
    const Vec3 p = at[c.bone];
    EXPECT_TRUE(c.box.Holds(p)) << "bone " << c.bone << " at " << p.x << ", " << p.y << ", " << p.z;
  }
  // Down the arm from the trunk out to the hand.
  EXPECT_LT(at[22].x, at[23].x);
  EXPECT_LT(at[23].x, at[24].x);
}

TEST(BodyLayout, AModelWithoutJointsAnswersForEveryGameBone) {
  TempFolder folder;
  const std::string model =
      folder.Write("figure.x", TinyModelText({}, {{{-0.2f, -0.1f, 0.0f}, {0.2f, 0.1f, 1.8f}, ""}}));
  SimHost sim;
  ImportedPed ped;
  std::string error;
  ASSERT_TRUE(ImportPedModel(sim, model, "", {}, ped, error)) << error;
  EXPECT_EQ(ped.guessedBones.size(), 19u);
  EXPECT_FALSE(ped.bindPose);
  // The simulated game answers for the head near the top, not at the feet.
  EXPECT_GT(sim.PedBonePosition(ped.ped, 5).z, 1.5f);
}

}  // namespace
