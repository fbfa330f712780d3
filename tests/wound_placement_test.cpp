#include "wounds/wound_placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "core/random.h"
#include "support/wound_world.h"
#include "wounds/blood_state.h"

namespace {

const WoundProfile kBullet{0.035f, 0.0f, 1.0f, 1, 4};

// The generator state whose draw number k (from 1) returns r.
uint32_t StateForDraw(int k, float r) {
  uint32_t inverse = 1664525u;  // Newton's iteration for the inverse modulo 2^32
  for (int i = 0; i < 5; ++i) inverse *= 2u - 1664525u * inverse;
  uint32_t state = static_cast<uint32_t>(r * 16777216.0f) << 8;
  for (int i = 0; i < k; ++i) state = (state - 1013904223u) * inverse;
  return state;
}

class WoundPlacement : public WoundTest {
 protected:
  bool Shoot(HostPed* ped, float x, float z, const WoundProfile& profile = kBullet,
             std::optional<float> bleed = {}) {
    return AddWound(Context(),
                    {ped, {x, -1, z}, {x, 1, z}, profile, "test", Vec3{x, 0, z}, {}, bleed});
  }
  std::string PedText(HostPed* ped) {
    char text[64];
    std::snprintf(text, sizeof(text), "test ped %0*zX model %d",
                  static_cast<int>(2 * sizeof(void*)), reinterpret_cast<size_t>(ped),
                  SimHost::Sim(ped)->model);
    return text;
  }
};

TEST_F(WoundPlacement, NearestHitAlongTheSegmentWins) {
  GridSpec back;
  back.origin.y = 0.2f;
  HostGeometry* front = AddGrid(GridSpec{});
  HostPed* ped = AddPedWith({front, AddGrid(back)});
  SimHost::Sim(ped)->model = 7;
  ASSERT_TRUE(AddWound(Context(), {ped, {0, -1, 1}, {0, 1, 1}, kBullet, "test", {}, {}, {}}));
  ASSERT_TRUE(AddWound(Context(), {ped, {0.1f, 1, 1}, {0.1f, -1, 1}, kBullet, "test", {}, {}, {}}));
  const PedBloodState& state = *FindBloodState(tables, ped);
  EXPECT_EQ(state.wounds[0].mesh, MeshesOf(ped)[0]);
  EXPECT_EQ(state.wounds[0].geometry, front);
  EXPECT_EQ(state.wounds[1].mesh, MeshesOf(ped)[1]);
  const std::string line = ReadLogLines().back();
  EXPECT_EQ(line.substr(0, line.find(", r ")), PedText(ped) + ": wound 2, ray hit mesh");
  EXPECT_NE(line.find("cut 0.000 bleed 0.85, "), std::string::npos);
  EXPECT_EQ(line.substr(line.size() - 12), "tris painted");
}

// Triangle 0's centroid is exactly the origin; triangle 1 lies far away.
TEST_F(WoundPlacement, SnappingTakesCentroidsStrictlyWithinAQuarterMetre) {
  GridSpec shape;
  shape.columns = shape.rows = 1;
  HostGeometry* geometry = AddGrid(shape);
  SimHost::Sim(geometry)->positions = {
      {-0.3f, 0, -0.3f}, {0.6f, 0, -0.3f}, {-0.3f, 0, 0.6f}, {5, 0, 5}};
  HostPed* ped = AddPedWith({geometry});
  const Vec3 shortStart{0, -1, 0}, shortEnd{0, -0.5f, 0};
  EXPECT_FALSE(AddWound(Context(), {ped, shortStart, shortEnd, kBullet, "test", {}, {}, {}}));
  EXPECT_EQ(FindBloodState(tables, ped), nullptr);
  const size_t lines = ReadLogLines().size();
  EXPECT_FALSE(AddWound(Context(),
                        {ped, shortStart, shortEnd, kBullet, "test", Vec3{0, -0.25f, 0}, {}, {}}));
  EXPECT_EQ(FindBloodState(tables, ped), nullptr);
  ASSERT_EQ(ReadLogLines().size(), lines + 1);
  EXPECT_EQ(ReadLogLines().back(), PedText(ped) + ": mesh not found near hit point, skipped");

  EXPECT_TRUE(AddWound(Context(),
                       {ped, shortStart, shortEnd, kBullet, "test", Vec3{0, -0.2499f, 0}, {}, {}}));
  const Wound& wound = FindBloodState(tables, ped)->wounds.at(0);
  EXPECT_EQ(wound.triangle, 0);
  EXPECT_EQ(wound.u, 1.0f / 3.0f);
  EXPECT_EQ(wound.v, 1.0f / 3.0f);
  EXPECT_NE(ReadLogLines().back().find(": wound 1, snapped, "), std::string::npos);
}

TEST_F(WoundPlacement, RefusalsLeaveTheTablesAlone) {
  HostPed* ped = AddPedWith({AddGrid(GridSpec{})});
  WoundProfile none = kBullet;
  none.radius = 0.0f;
  EXPECT_FALSE(Shoot(ped, 0, 1, none));
  none.radius = std::nanf("");
  EXPECT_FALSE(Shoot(ped, 0, 1, none));
  HostPed* bare = sim.AddPed({0, 0, 0});
  EXPECT_FALSE(Shoot(bare, 0, 1));
  EXPECT_TRUE(tables.bloodStates.empty());
  EXPECT_EQ(ReadLogLines().back(), PedText(bare) + ": no skinned mesh, skipped");
  EXPECT_EQ(rng.state, 12345u);
}

// Draws in order: radius, angle, drip count, then offset, length and width per drip.
TEST_F(WoundPlacement, RandomDrawsComeInTheirOrder) {
  config.DripLength = 0.2f;
  HostPed* ped = AddPedWith({AddGrid(GridSpec{})});
  WoundProfile profile{0.04f, 0.0f, 1.5f, 2, 2};
  config.Drips = 0;
  rng.state = 777;
  RandomGenerator copy = rng;
  ASSERT_TRUE(Shoot(ped, 0, 1, profile, 1.0f));
  const float r1 = NextRandom(copy), r2 = NextRandom(copy);
  EXPECT_EQ(rng.state, copy.state);
  const Wound plain = FindBloodState(tables, ped)->wounds.at(0);
  EXPECT_FLOAT_EQ(plain.radius, 0.04f * (0.85f + 0.3f * r1));
  EXPECT_FLOAT_EQ(plain.angle, r2 * 6.2832f);
  EXPECT_EQ(plain.dripCount, 0);

  config.Drips = 1;
  for (float cut : {0.0f, 0.03f}) {
    profile.cut = cut;
    copy = rng;
    ASSERT_TRUE(Shoot(ped, 0, 1, profile, 1.0f));
    const float radius = 0.04f * (0.85f + 0.3f * NextRandom(copy));
    NextRandom(copy);
    NextRandom(copy);
    const Wound& wound = FindBloodState(tables, ped)->wounds.back();
    ASSERT_EQ(wound.dripCount, 2);  // round(2 + r * 0.99)
    const float spread = cut > 0 ? cut : 0.6f * radius;
    for (int i = 0; i < 2; ++i) {
      const float ra = NextRandom(copy), rb = NextRandom(copy), rc = NextRandom(copy);
      EXPECT_FLOAT_EQ(wound.dripOffset[i], (2.0f * ra - 1.0f) * spread);
      EXPECT_FLOAT_EQ(wound.dripLength[i], 0.2f * 1.5f * 1.0f * (0.3f + 0.7f * rb));
      EXPECT_FLOAT_EQ(wound.dripWidth[i], std::max(0.012f, radius) * (0.15f + 0.15f * rc));
    }
    EXPECT_EQ(wound.dripOffset[2], 0.0f);
    EXPECT_EQ(rng.state, copy.state);
  }
}

// dripsMin 1, dripsMax 4: x = (1 + r3 * 3.99) * bleed, rounded half away from zero.
TEST_F(WoundPlacement, DripCountsFollowTheThirdDraw) {
  config.Drips = 1;
  HostPed* ped = AddPedWith({AddGrid(GridSpec{})});
  struct Case {
    float r3, bleed;
    int32_t drips;
  } cases[] = {{0.0f, 1.0f, 1}, {0.8771f, 1.0f, 4}, {0.8773f, 1.0f, 5}, {0.99999f, 1.0f, 5},
               {0.0f, 0.2f, 0}, {0.37f, 0.2f, 0},   {0.38f, 0.2f, 1},   {0.99f, 0.2f, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r3 << " " << c.bleed);
    rng.state = StateForDraw(3, c.r3);
    ASSERT_TRUE(Shoot(ped, 0, 1, kBullet, c.bleed));
    EXPECT_EQ(FindBloodState(tables, ped)->wounds.back().dripCount, c.drips);
  }
  WoundProfile many{0.035f, 0.0f, 1.0f, 9, 40};
  ASSERT_TRUE(Shoot(ped, 0, 1, many, 1.0f));
  EXPECT_EQ(FindBloodState(tables, ped)->wounds.back().dripCount, 6);
  WoundProfile extreme{0.035f, 0.0f, 1.0f, INT32_MIN, INT32_MAX};
  ASSERT_TRUE(Shoot(ped, 0, 1, extreme, 1.0f));
  EXPECT_GE(FindBloodState(tables, ped)->wounds.back().dripCount, 0);
}

TEST_F(WoundPlacement, TheHitAfterTheLastBulletWoundBledOut) {
  config.MaxBulletWounds = 20;
  HostPed* ped = AddPedWith({AddGrid(GridSpec{})});
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(Shoot(ped, 0, 1)) << i;
  PedBloodState& state = *FindBloodState(tables, ped);
  EXPECT_GT(state.wounds.back().bleed, 0.0f);
  const uint32_t draws = rng.state;
  const std::vector<uint8_t> paint = MaskBytes(state.layers[0].mask);
  sim.clock = 4000;
  EXPECT_TRUE(Shoot(ped, 0, 1));
  EXPECT_EQ(state.woundCounter, 21);
  EXPECT_EQ(state.wounds.size(), 20u);
  EXPECT_EQ(state.lastHitClock, 4000u);
  EXPECT_NEAR(state.bloodLoss, 21.0f / 20.0f, 1e-5f);
  EXPECT_EQ(rng.state, draws);
  EXPECT_EQ(MaskBytes(state.layers[0].mask), paint);
  EXPECT_EQ(ReadLogLines().back(), PedText(ped) + ": wound 21, bled out, nothing shown");

  // A bleed that is not a number shows nothing either.
  EXPECT_TRUE(
      AddWound(Context(), {ped, {0, -1, 1}, {0, 1, 1}, kBullet, "test", {}, 0.0f, std::nanf("")}));
  EXPECT_EQ(ReadLogLines().back(), PedText(ped) + ": wound 22, bled out, nothing shown");

  // Own increments and bleeds are used as given.
  EXPECT_TRUE(AddWound(Context(), {ped, {0, -1, 1}, {0, 1, 1}, kBullet, "test", {}, 0.25f, 0.5f}));
  EXPECT_NEAR(state.bloodLoss, 1.3f, 1e-5f);  // 21 / 20 + 0 + 0.25
  EXPECT_EQ(state.wounds.back().bleed, 0.5f);
}

TEST_F(WoundPlacement, TheTwentyFifthFlowingWoundPushesOutTheOldest) {
  config.MaxBulletWounds = 100;
  HostPed* ped = AddPedWith({AddGrid(GridSpec{})});
  ASSERT_TRUE(Shoot(ped, -0.2f, 0.8f));
  PedBloodState& state = *FindBloodState(tables, ped);
  const std::vector<uint8_t> firstPaint = MaskBytes(state.layers[0].mask);
  const int32_t firstTriangle = state.wounds[0].triangle;
  for (int i = 1; i < 25; ++i) {
    ASSERT_TRUE(Shoot(ped, -0.2f + 0.08f * static_cast<float>(i % 5), 0.8f + 0.08f * (i / 5)));
    EXPECT_EQ(state.wounds.size(), std::min<size_t>(i + 1, 24));
  }
  EXPECT_NE(state.wounds[0].triangle, firstTriangle);
  const std::vector<uint8_t> lastPaint = MaskBytes(state.layers[0].mask);
  for (size_t i = 0; i < firstPaint.size(); ++i) ASSERT_GE(lastPaint[i], firstPaint[i]);
}

// Segment (-0.25, -h, 0.5) .. (0.75, h, 0.5) against the triangle (0,0,0) (1,0,0) (0,0,1):
// det = 2 h, so it hits down to h = 0.5e-9 and no further.
TEST_F(WoundPlacement, AllButParallelSegmentsHitDownToTheThreshold) {
  GridSpec shape;
  shape.origin = {0, 0, 0};
  shape.du = {1, 0, 0};
  shape.dv = {0, 0, 1};
  shape.columns = shape.rows = 1;
  HostPed* ped = AddPedWith({AddGrid(shape)});
  for (float h : {0.75e-9f, 0.25e-9f}) {
    EXPECT_EQ(AddWound(Context(),
                       {ped, {-0.25f, -h, 0.5f}, {0.75f, h, 0.5f}, kBullet, "test", {}, {}, 1}),
              h > 0.5e-9f)
        << h;
  }
}

TEST_F(WoundPlacement, BrokenTrianglesAreNeverChosen) {
  HostGeometry* geometry = AddGrid(GridSpec{});
  HostPed* ped = AddPedWith({geometry});
  for (HostTriangle& t : SimHost::Sim(geometry)->triangles) t.vertex[1] = 60000;
  EXPECT_FALSE(Shoot(ped, 0, 1));
  EXPECT_EQ(FindBloodState(tables, ped), nullptr);
  SimHost::Sim(geometry)->triangles.resize(1000);  // the count now overstates nothing
  SimHost::Sim(geometry)->triangleCount = 1000;
  EXPECT_FALSE(Shoot(ped, 0, 1));
}

}  // namespace
