#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "core/platform.h"
#include "damage/explosion_wounds.h"
#include "render/blood_geometry.h"
#include "render/wound_footprint.h"
#include "render/wound_stamp.h"
#include "support/wound_world.h"
#include "wounds/wound_placement.h"

namespace {

const WoundProfile kBullet{0.035f, 0.0f, 1.0f, 1, 4};

class BloodStates : public WoundTest {
 protected:
  HostPed* WallPed() { return AddPedWith({AddGrid(GridSpec{})}); }
  bool Shoot(HostPed* ped, float x = 0.0f, float z = 1.0f) {
    return AddWound(Context(),
                    {ped, {x, -1, z}, {x, 1, z}, kBullet, "test", Vec3{x, 0, z}, {}, {}});
  }
  void Frame(uint32_t clock) {
    sim.clock = clock;
    UpdateBloodFrame(Context());
  }
  // With room for one bloody ped besides the player: the player shot at 1000 ms, then other
  // at 2000 ms.
  void ShootPlayerThenOther(HostPed* player, HostPed* other) {
    config.MaxBloodyPeds = 1;
    sim.player = player;
    sim.clock = 1000;
    ASSERT_TRUE(Shoot(player));
    sim.clock = 2000;
    ASSERT_TRUE(Shoot(other));
  }
  static float B(float x) {
    return static_cast<float>((std::exp(-3.0 * x) - std::exp(-3.0)) / (1 - std::exp(-3.0)));
  }
};

TEST_F(BloodStates, BleedFollowsTheLossAndTheCorpseCurve) {
  config.CorpseBleedTime = 50.0f;
  HostPed* living = sim.AddPed({0, 0, 0});
  HostPed* corpse = sim.AddPed({0, 0, 0});
  SimHost::Sim(corpse)->health = 0.0f;
  struct Case {
    HostPed* ped;
    float deathClockSeconds;  // < 0: no death time recorded
    uint32_t nowMs;
    float loss;
    float expected;
  } cases[] = {
      {living, -1, 0, 0.0f, 1.0f},
      {living, -1, 0, 0.5f, B(0.5f)},
      {living, -1, 0, 1.0f, 0.0f},
      {living, -1, 0, 3.0f, 0.0f},
      {living, -1, 0, std::numeric_limits<float>::quiet_NaN(), 0.0f},
      {corpse, -1, 9000, 0.0f, 1.0f},  // not seen dead yet: just died
      {corpse, 10, 35000, 0.0f, B(0.5f)},
      {corpse, 10, 35000, 0.5f, B(0.5f) * B(0.5f)},
      {corpse, 10, 60000, 0.0f, 0.0f},
      {corpse, 10, 90000, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nowMs << " " << c.loss);
    tables.corpseDeathTimes.clear();
    if (c.deathClockSeconds >= 0) tables.corpseDeathTimes[c.ped] = c.deathClockSeconds;
    sim.clock = c.nowMs;
    EXPECT_NEAR(ComputeBleed(Context(), c.ped, c.loss), c.expected, 1e-4f);
  }
  EXPECT_EQ(ComputeBleed(Context(), living, 0.0f), 1.0f);
  // No bleed time: the corpse stops at once, without dividing by zero.
  config.CorpseBleedTime = 0.0f;
  sim.clock = 1000;
  tables.corpseDeathTimes[corpse] = 0.9995f;
  EXPECT_NEAR(ComputeBleed(Context(), corpse, 0.0f), B(0.5f), 1e-3f);
  // Exponentials taken in float end a unit in the last place off at these losses.
  EXPECT_EQ(ComputeBleed(Context(), living, 0.1679f), 0x1.2ac802p-1f);
  EXPECT_EQ(ComputeBleed(Context(), living, 0.16804f), 0x1.2aa5p-1f);
}

// Shares of 1 / n summed in float end hundreds of units in the last place off 1: a ped must
// bleed out exactly when its shares reach 1, for every cap up to 1000 and any mix.
TEST_F(BloodStates, SharesBleedAPedOutExactlyWhenTheyReachOne) {
  HostPed* ped = sim.AddPed({0, 0, 0});
  struct Mix {
    int64_t explosions, falls;
    bool mixed;  // false: bullet shares only
  } mixes[] = {{4, 4, false}, {4, 4, true}, {3, 7, true}, {999, 1000, true}};
  uint32_t pick = 1;
  for (const Mix& mix : mixes) {
    config.MaxExplosionWounds = static_cast<int32_t>(mix.explosions);
    config.MaxFallWounds = static_cast<int32_t>(mix.falls);
    for (int64_t bullets = 1; bullets <= 1000; ++bullets) {
      config.MaxBulletWounds = static_cast<int32_t>(bullets);
      const int64_t caps[3] = {bullets, mix.explosions, mix.falls};
      const int64_t whole = caps[0] * caps[1] * caps[2];
      int64_t counts[3] = {}, sum = 0;
      PedBloodState state;
      while (true) {
        const bool bledOut = ComputeBleed(Context(), ped, state.bloodLoss) == 0.0f;
        ASSERT_EQ(bledOut, sum >= whole) << bullets << " " << mix.explosions << " " << counts[0]
                                         << " " << counts[1] << " " << counts[2];
        if (bledOut) break;
        pick = pick * 1664525u + 1013904223u;
        const int kind = mix.mixed ? static_cast<int>((pick >> 16) % 3) : 0;
        ++counts[kind];
        sum += whole / caps[kind];
        AddBloodLoss(config, state, 1.0f / static_cast<float>(caps[kind]));
      }
    }
  }
  // Twelve bullets fall 2e-7 short of 1 in float; a thirteenth must show nothing.
  config.MaxBulletWounds = 12;
  HostPed* wall = WallPed();
  for (int i = 0; i < 13; ++i) ASSERT_TRUE(Shoot(wall));
  EXPECT_EQ(FindBloodState(tables, wall)->wounds.size(), 12u);
  EXPECT_NE(ReadLogLines().back().find(": wound 13, bled out, nothing shown"), std::string::npos);
}

TEST_F(BloodStates, DeathTimesAreTakenOnceAndForgottenOnRevival) {
  HostPed* ped = sim.AddPed({0, 0, 0});
  sim.pool.push_back(nullptr);  // a free slot
  Frame(500);
  EXPECT_TRUE(tables.corpseDeathTimes.empty());
  SimHost::Sim(ped)->health = 0.0f;
  Frame(1000);
  Frame(2000);
  EXPECT_EQ(tables.corpseDeathTimes.at(ped), 1.0f);
  SimHost::Sim(ped)->health = 10.0f;
  Frame(3000);
  EXPECT_EQ(tables.corpseDeathTimes.count(ped), 0u);
  SimHost::Sim(ped)->health = -5.0f;
  Frame(4000);
  EXPECT_EQ(tables.corpseDeathTimes.at(ped), 4.0f);
}

// Frames every 50 ms: the wound is painted about every 0.1 s, and one last time at the
// first frame at or after FlowTime with its age clamped to exactly FlowTime (the drips
// show the difference), then it leaves the list and its paint stays.
TEST_F(BloodStates, FlowingWoundsArePaintedOnScheduleUntilFlowTime) {
  config.Drips = 1;
  config.FlowTime = 8.0f;
  HostPed* ped = WallPed();
  ASSERT_TRUE(Shoot(ped));
  PedBloodState& state = *FindBloodState(tables, ped);
  const Wound wound = state.wounds.at(0);
  ASSERT_GT(wound.dripCount, 0);
  std::vector<float> paintings = {state.layers[0].lastPaint};
  for (uint32_t clock = 0; clock < 8000; clock += 50) {
    Frame(clock);
    if (state.layers[0].lastPaint != paintings.back())
      paintings.push_back(state.layers[0].lastPaint);
    ASSERT_EQ(state.wounds.size(), 1u);
  }
  Frame(9000);
  paintings.push_back(8.0f);
  EXPECT_EQ(state.layers[0].lastPaint, 9.0f);
  EXPECT_TRUE(state.wounds.empty());
  ASSERT_GT(paintings.size(), 70u);
  for (size_t i = 1; i + 1 < paintings.size(); ++i) {
    EXPECT_GE(paintings[i] - paintings[i - 1], 0.0999f);
    EXPECT_LE(paintings[i] - paintings[i - 1], 0.1501f);
  }

  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  auto replay = [&](float lastAge) {
    std::vector<MaskLayer> layers;
    paintings.back() = lastAge;
    for (float age : paintings) PaintWound(Context(), layers, wound, snapshot, age);
    return layers;
  };
  std::vector<MaskLayer> expected = replay(8.0f);
  ASSERT_EQ(expected.size(), state.layers.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(MaskBytes(expected[i].mask), MaskBytes(state.layers[i].mask));
  EXPECT_NE(MaskBytes(replay(9.0f)[0].mask), MaskBytes(state.layers[0].mask));

  Frame(9500);
  EXPECT_EQ(state.layers[0].lastPaint, 9.0f);
}

// A budget too small for any wound: one repaint a frame, the first. Either ped waits
// longest in turn, so that the order of the table cannot pass for the right one.
TEST_F(BloodStates, ThePaintBudgetTakesTheLongestWaitingFirstAndKeepsEveryFinalPainting) {
  config.Drips = 1;
  config.PaintBudget = 1e-6f;
  struct Frame {
    uint32_t clock;
    float a0, a1, b0;  // ages of the last paintings of a's two wounds and b's one
  };
  const std::vector<Frame> onceFirst = {
      {100, 0.0f, 0.0f, 0.1f},      // the longest waiting goes first
      {116, 0.116f, 0.0f, 0.1f},    // then the other, cut short after one wound
      {133, 0.116f, 0.133f, 0.1f},  // which goes on where it stopped
  };
  const std::vector<Frame> twiceFirst = {
      {100, 0.1f, 0.0f, 0.0f}, {116, 0.1f, 0.116f, 0.0f}, {133, 0.1f, 0.116f, 0.133f}};
  for (bool onceWaitsLonger : {true, false}) {
    sim.clock = 0;
    HostPed* twice = WallPed();
    HostPed* once = WallPed();
    ASSERT_TRUE(Shoot(twice, -0.1f));
    ASSERT_TRUE(Shoot(twice, 0.1f));
    ASSERT_TRUE(Shoot(once));
    PedBloodState& a = *FindBloodState(tables, twice);
    PedBloodState& b = *FindBloodState(tables, once);
    // A new wound's first painting is never deferred.
    EXPECT_EQ(a.wounds[1].paintedAge, 0.0f);
    EXPECT_EQ(b.wounds[0].paintedAge, 0.0f);
    (onceWaitsLonger ? b : a).nextRefreshTime = 0.05f;
    (onceWaitsLonger ? a : b).nextRefreshTime = 0.1f;
    for (const Frame& f : onceWaitsLonger ? onceFirst : twiceFirst) {
      this->Frame(f.clock);
      EXPECT_FLOAT_EQ(a.wounds[0].paintedAge, f.a0) << f.clock;
      EXPECT_FLOAT_EQ(a.wounds[1].paintedAge, f.a1) << f.clock;
      EXPECT_FLOAT_EQ(b.wounds[0].paintedAge, f.b0) << f.clock;
    }
    std::vector<Wound> wounds = {a.wounds[0], a.wounds[1], b.wounds[0]};
    for (uint32_t clock = 150; clock <= 12000; clock += 16) this->Frame(clock);
    EXPECT_TRUE(a.wounds.empty());
    EXPECT_TRUE(b.wounds.empty());
    // The painting at FlowTime is in the masks: painting it again changes nothing.
    for (size_t i = 0; i < wounds.size(); ++i) {
      PedBloodState& state = i < 2 ? a : b;
      PosedMeshSnapshot snapshot;
      ASSERT_TRUE(TakePosedMeshSnapshot(Context(), i < 2 ? twice : once, snapshot));
      std::vector<MaskLayer> again = state.layers;
      PaintWound(Context(), again, wounds[i], snapshot, config.FlowTime);
      for (size_t k = 0; k < again.size(); ++k)
        EXPECT_EQ(MaskBytes(again[k].mask), MaskBytes(state.layers[k].mask)) << i;
    }
    RemovePedBlood(Context(), twice);
    RemovePedBlood(Context(), once);
  }
}

// Peds due at the same time go in the order their blood began, whatever the table's order
// (which follows addresses): the same fight paints the same blood on every run.
TEST_F(BloodStates, ThePaintBudgetBreaksTiesByTheOlderBlood) {
  config.PaintBudget = 1e-6f;
  for (bool swap : {false, true}) {
    HostPed* peds[2] = {WallPed(), WallPed()};
    if (swap) std::swap(peds[0], peds[1]);
    sim.clock = 0;
    ASSERT_TRUE(Shoot(peds[0]));
    ASSERT_TRUE(Shoot(peds[1]));
    for (HostPed* ped : peds) FindBloodState(tables, ped)->nextRefreshTime = 0.1f;
    Frame(100);
    EXPECT_FLOAT_EQ(FindBloodState(tables, peds[0])->wounds[0].paintedAge, 0.1f);
    EXPECT_FLOAT_EQ(FindBloodState(tables, peds[1])->wounds[0].paintedAge, 0.0f);
    for (HostPed* ped : peds) RemovePedBlood(Context(), ped);
  }
}

// A wound pushed out by a ped's newest leaves painted at its age, not where a budget that
// kept it waiting left it.
TEST_F(BloodStates, AWoundPushedOutUnderABudgetLeavesPaintedAtItsAge) {
  config.PaintBudget = 1e-6f;
  config.MaxBulletWounds = 100;
  HostPed* ped = WallPed();
  sim.clock = 0;
  for (size_t i = 0; i < kMaxFlowingWounds; ++i) {
    ASSERT_TRUE(Shoot(ped, -0.2f + 0.4f * static_cast<float>(i % 6) / 5.0f,
                      0.8f + 0.1f * static_cast<float>(i / 6)));
  }
  PedBloodState& state = *FindBloodState(tables, ped);
  const Wound oldest = state.wounds.front();
  sim.clock = 3000;  // no frame since: the oldest was painted at age 0 only
  ASSERT_TRUE(Shoot(ped, 0.03f, 0.95f));
  ASSERT_EQ(state.wounds.size(), kMaxFlowingWounds);
  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  std::vector<MaskLayer> again = state.layers;
  PaintWound(Context(), again, oldest, snapshot, 3.0f);
  for (size_t k = 0; k < again.size(); ++k)
    EXPECT_EQ(MaskBytes(again[k].mask), MaskBytes(state.layers[k].mask));
}

// A painting whose listing does not fit the frame's budget is split over frames: each
// lists a part, the ped's turn stays open at that wound, and it goes on in the next frame.
TEST_F(BloodStates, APaintingTooLargeForTheBudgetIsSplitOverFrames) {
  config.MaskSize = 1024;
  config.PaintBudget = 1e-6f;
  config.FollowPose = 0;  // the hit makes the footprint; the next painting lists it whole
  HostPed* ped = WallPed();
  sim.clock = 0;
  ASSERT_TRUE(Shoot(ped));
  PedBloodState& state = *FindBloodState(tables, ped);
  Wound& wound = state.wounds[0];
  const uint32_t whole = PaintingWork(config, wound, 0.1f, 0);
  const float due = state.nextRefreshTime;
  int split = 0;
  for (uint32_t clock = 100; clock < 2000; clock += 16) {
    Frame(clock);
    EXPECT_LT(2 * wound.work, whole) << clock;
    if (!PaintingCutShort(wound)) break;
    ++split;
    EXPECT_EQ(state.refreshCursor, 0u);
    EXPECT_EQ(state.nextRefreshTime, due);
  }
  EXPECT_GE(split, 2);
  EXPECT_FALSE(PaintingCutShort(wound));
  EXPECT_GT(state.nextRefreshTime, due);
}

TEST_F(BloodStates, RefreshDropsWoundsWhoseMeshLeftAndKeepsThoseItCannotPose) {
  HostPed* ped = WallPed();
  ASSERT_TRUE(Shoot(ped));
  PedBloodState& state = *FindBloodState(tables, ped);
  SimEntity* entity = SimHost::Sim(ped);
  HostRenderObject* object = entity->renderObject;
  entity->renderObject = nullptr;
  Frame(1000);
  EXPECT_EQ(state.wounds.size(), 1u);
  EXPECT_FLOAT_EQ(state.nextRefreshTime, 1.1f);
  entity->renderObject = object;
  std::vector<uint8_t> paint = MaskBytes(state.layers[0].mask);
  MeshesOf(ped).push_back(MeshesOf(ped)[0]);
  MeshesOf(ped).erase(MeshesOf(ped).begin());
  MeshesOf(ped)[0] = sim.AddMesh(nullptr, AddGrid(GridSpec{}));
  Frame(1100);
  EXPECT_TRUE(state.wounds.empty());
  EXPECT_EQ(MaskBytes(state.layers[0].mask), paint);
}

TEST_F(BloodStates, EvictionSparesThePlayerAndTheJustWoundedPed) {
  HostPed* player = WallPed();
  HostPed* first = WallPed();
  HostPed* second = WallPed();
  ShootPlayerThenOther(player, first);
  EXPECT_EQ(tables.bloodStates.size(), 2u);
  FindBloodState(tables, first)->layers[0].texture = MakeTexture();
  sim.clock = 3000;
  ASSERT_TRUE(Shoot(second));
  EXPECT_EQ(tables.bloodStates.size(), 2u);
  EXPECT_NE(FindBloodState(tables, player), nullptr);
  EXPECT_NE(FindBloodState(tables, second), nullptr);
  EXPECT_EQ(sim.TexturesReleased(), 1);

  // A state that no wound ever reached keeps lastHitClock 0 and goes before one hit later.
  config.MaxBloodyPeds = 3;
  FindOrCreateBloodState(Context(), first);
  sim.clock = 500;
  HostPed* third = WallPed();
  ASSERT_TRUE(Shoot(third));
  EXPECT_EQ(FindBloodState(tables, first), nullptr);
  EXPECT_NE(FindBloodState(tables, second), nullptr);
  EXPECT_EQ(tables.bloodStates.size(), 3u);
}

// Whichever path creates a state enforces the cap, sparing the player and the new ped; a
// wound that finds an existing ped bled out evicts nobody, a recorded one does.
TEST_F(BloodStates, EveryNewStateEnforcesTheCap) {
  const std::function<void(HostPed*)> creators[] = {
      [this](HostPed* p) {
        AddWound(Context(), {p, {0, -1, 1}, {0, 1, 1}, kBullet, "bled", {}, {}, 0});
      },
      [this](HostPed* p) {
        HandleExplosionDamage(Context(), p, {0, -3, 1}, "explosion");
      },
      [this](HostPed* p) { HandleFallDamage(Context(), p, "fall"); },
  };
  for (const auto& create : creators) {
    ResetAllBlood(Context());
    HostPed* player = WallPed();
    HostPed* other = WallPed();
    HostPed* ped = WallPed();
    ShootPlayerThenOther(player, other);
    ASSERT_EQ(tables.bloodStates.size(), 2u);
    create(ped);
    EXPECT_NE(FindBloodState(tables, ped), nullptr);
    EXPECT_NE(FindBloodState(tables, player), nullptr);
    EXPECT_EQ(FindBloodState(tables, other), nullptr);

    ASSERT_TRUE(AddWound(Context(), {player, {0, -1, 1}, {0, 1, 1}, kBullet, "bled", {}, {}, 0}));
    EXPECT_NE(FindBloodState(tables, ped), nullptr);
    ASSERT_TRUE(Shoot(player));
    EXPECT_EQ(FindBloodState(tables, ped), nullptr);
  }
}

TEST_F(BloodStates, EqualLastHitsEvictTheFirstInTableOrder) {
  HostPed* wounded = sim.AddPed({0, 0, 0});
  for (int i = 0; i < 3; ++i) FindOrCreateBloodState(Context(), sim.AddPed({0, 0, 0}));
  FindOrCreateBloodState(Context(), wounded);
  std::vector<HostPed*> order;
  for (const auto& entry : tables.bloodStates) {
    if (entry.first != wounded) order.push_back(entry.first);
  }
  config.MaxBloodyPeds = 3;
  EvictLeastRecentlyHit(Context(), wounded);
  EXPECT_EQ(FindBloodState(tables, order.front()), nullptr);
  EXPECT_EQ(tables.bloodStates.size(), 3u);
}

TEST_F(BloodStates, PlayersBloodGoesWhenTheyAreAliveAgainAfterDying) {
  HostPed* player = WallPed();
  sim.player = player;
  ASSERT_TRUE(Shoot(player));
  SimHost::Sim(player)->health = 0.0f;
  Frame(100);
  EXPECT_TRUE(tables.playerWasDead);
  sim.player = nullptr;  // missing on the frame it would be wiped
  SimHost::Sim(player)->health = 100.0f;
  Frame(200);
  EXPECT_FALSE(tables.playerWasDead);
  sim.player = player;
  Frame(300);
  ASSERT_NE(FindBloodState(tables, player), nullptr);
  SimHost::Sim(player)->health = 0.0f;
  Frame(400);
  EXPECT_NE(FindBloodState(tables, player), nullptr);
  SimHost::Sim(player)->health = 100.0f;
  Frame(500);
  EXPECT_EQ(FindBloodState(tables, player), nullptr);
}

TEST_F(BloodStates, RemovalAndResetReleaseEveryTextureOnce) {
  HostPed* a = WallPed();
  HostPed* b = WallPed();
  ASSERT_TRUE(Shoot(a, -0.15f));
  ASSERT_TRUE(Shoot(b));
  PedBloodState& stateA = *FindBloodState(tables, a);
  stateA.layers.push_back(stateA.layers[0]);  // a second layer without a texture
  stateA.layers[0].texture = MakeTexture();
  FindBloodState(tables, b)->layers[0].texture = MakeTexture();
  FindOrCreateBloodState(Context(), sim.AddPed({0, 0, 0}));
  ASSERT_NE(GetBloodGeometry(Context(), SimHost::Sim(MeshesOf(a)[0])->geometry), nullptr);
  tables.playerWasDead = true;

  RemovePedBlood(Context(), a);
  RemovePedBlood(Context(), a);
  EXPECT_EQ(FindBloodState(tables, a), nullptr);
  EXPECT_EQ(sim.TexturesReleased(), 1);

  tables.corpseDeathTimes[b] = 1.0f;
  ResetAllBlood(Context());
  EXPECT_TRUE(tables.bloodStates.empty());
  EXPECT_TRUE(tables.corpseDeathTimes.empty());
  // The copies go too, without taking the walls' skin records with them.
  EXPECT_TRUE(tables.bloodGeometryCache.empty());
  EXPECT_EQ(sim.geometriesDestroyed, 2);  // one copy per wall
  EXPECT_EQ(sim.skinnedGeometriesDestroyed, 0);
  EXPECT_TRUE(tables.playerWasDead);
  EXPECT_EQ(sim.TexturesReleased(), 2);
  EXPECT_EQ(sim.TexturesReleasedTwice(), 0);
  EXPECT_EQ(sim.TexturesLive(), 0);
  ResetAllBlood(Context());
  RemovePedBlood(Context(), b);
  EXPECT_EQ(sim.TexturesReleased(), 2);
}

}  // namespace
