#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "damage/aim_rays.h"
#include "damage/hit_history.h"
#include "damage/wound_profile.h"
#include "host/game_facts.h"
#include "host/sim/sim_host.h"
#include "host/sim/sim_math.h"
#include "plugin/system_state.h"

namespace {

class WeaponClassesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSystemState();
    State().host = &sim;
  }
  SimHost sim;
};

void ExpectVec(Vec3 actual, Vec3 expected) {
  EXPECT_FLOAT_EQ(actual.x, expected.x);
  EXPECT_FLOAT_EQ(actual.y, expected.y);
  EXPECT_FLOAT_EQ(actual.z, expected.z);
}

TEST_F(WeaponClassesTest, ClassesHoldExactlyTheirCodes) {
  const std::set<int32_t> bullet = {22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 38, 52};
  const std::set<int32_t> shotgun = {25, 26, 27};
  const std::set<int32_t> rifle = {30, 31, 33, 34, 38};
  const std::set<int32_t> piercing = {24, 30, 31, 33, 34};
  const std::set<int32_t> explosive = {16, 19, 20, 21, 35, 36, 39, 40, 51};
  const std::set<int32_t> chance = {0, 1, 2, 3, 5, 6, 7, 10, 11, 12, 13, 14, 15};
  for (int32_t code : {INT32_MIN, -1}) {
    EXPECT_FALSE(IsBulletWeapon(code) || IsShotgunWeapon(code) || IsRifleWeapon(code) ||
                 IsPiercingWeapon(code) || IsExplosiveWeapon(code) || IsChanceRollWeapon(code));
  }
  for (int32_t code = 0; code <= 300; ++code) {
    SCOPED_TRACE(code);
    EXPECT_EQ(IsBulletWeapon(code), bullet.count(code) == 1);
    EXPECT_EQ(IsShotgunWeapon(code), shotgun.count(code) == 1);
    EXPECT_EQ(IsRifleWeapon(code), rifle.count(code) == 1);
    EXPECT_EQ(IsPiercingWeapon(code), piercing.count(code) == 1);
    EXPECT_EQ(IsExplosiveWeapon(code), explosive.count(code) == 1);
    EXPECT_EQ(IsChanceRollWeapon(code), chance.count(code) == 1);
  }
}

::testing::AssertionResult SameProfile(const WoundProfile& p, const WoundProfile& e) {
  if (p.radius == e.radius && p.cut == e.cut && p.dripScale == e.dripScale &&
      p.dripsMin == e.dripsMin && p.dripsMax == e.dripsMax) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "got {" << p.radius << ", " << p.cut << ", " << p.dripScale << ", " << p.dripsMin
         << ", " << p.dripsMax << "}, expected {" << e.radius << ", " << e.cut << ", "
         << e.dripScale << ", " << e.dripsMin << ", " << e.dripsMax << "}";
}

TEST_F(WeaponClassesTest, GunWoundsTakeTheConfiguredSizeAndDripsAndHeadShotsAreLarger) {
  BloodConfig& config = State().config;
  config.DripsMin = 2;
  config.DripsMax = 5;
  for (float radius : {0.03f, 0.05f}) {
    config.WoundRadius = radius;
    config.ShotgunWoundRadius = 0.6f * radius;
    config.RifleWoundRadius = 1.7f * radius;
    for (int32_t code = 0; code <= 300; ++code) {
      if (!IsBulletWeapon(code)) continue;
      for (int32_t piece = 0; piece <= 255; ++piece) {
        const float head = piece == game::piece::kHead ? 1.4f : 1.0f;
        // Pellets are small wherever they land; other bullets keep the ini's drips.
        const WoundProfile expected =
            IsShotgunWeapon(code) ? WoundProfile{config.ShotgunWoundRadius, 0, 0.6f, 0, 2}
            : IsRifleWeapon(code) ? WoundProfile{head * config.RifleWoundRadius, 0, 1.0f, 2, 5}
                                  : WoundProfile{head * config.WoundRadius, 0, 1.0f, 2, 5};
        EXPECT_TRUE(SameProfile(GetWoundProfile(Config(), code, piece), expected))
            << "code " << code << " piece " << piece;
      }
    }
  }
}

TEST_F(WeaponClassesTest, BlowsBladesCarsAndBlastsLeaveTheirOwnWoundsAndNothingElseBleeds) {
  using namespace game::weapon;
  const WoundProfile none{0, 0, 0, 0, 0};
  const WoundProfile blast{0.025f, 0, 0.7f, 0, 2};
  struct Kind {
    std::vector<int32_t> codes;
    WoundProfile head, body;
  };
  const Kind kinds[] = {
      {{kUnarmed, kBrassKnuckles}, {0.012f, 0, 0.5f, 0, 2}, none},  // fists mark the face only
      {{kGolfClub, kNightstick, kBat, kShovel, kPoolCue, kCane},
       {0.025f, 0, 1.0f, 1, 3},
       {0.012f, 0, 0.4f, 0, 1}},
      {{kKnife}, {0.01f, 0.045f, 1.0f, 2, 5}, {0.01f, 0.045f, 1.0f, 2, 5}},
      {{kKatana}, {0.013f, 0.1f, 1.2f, 3, 6}, {0.013f, 0.1f, 1.2f, 3, 6}},
      {{kChainsaw}, {0.05f, 0.09f, 1.6f, 4, 6}, {0.05f, 0.09f, 1.6f, 4, 6}},
      {{kRammedByCar, kRunOverByCar}, {0.02f, 0.03f, 0.5f, 0, 2}, {0.02f, 0.03f, 0.5f, 0, 2}},
  };
  std::vector<int32_t> codes = {INT32_MIN, INT32_MAX};
  for (int32_t code = -5; code <= 300; ++code) codes.push_back(code);
  for (int32_t code : codes) {
    if (IsBulletWeapon(code)) continue;
    WoundProfile head = IsExplosiveWeapon(code) ? blast : none, body = head;
    for (const Kind& kind : kinds) {
      if (std::count(kind.codes.begin(), kind.codes.end(), code))
        head = kind.head, body = kind.body;
    }
    for (int32_t piece = 0; piece <= 255; ++piece) {
      EXPECT_TRUE(SameProfile(GetWoundProfile(Config(), code, piece),
                              piece == game::piece::kHead ? head : body))
          << "code " << code << " piece " << piece;
    }
  }
}

TEST_F(WeaponClassesTest, HitHistoryFindNeverInsertsAndEraseForgets) {
  HostPed* ped = sim.AddPed({0, 0, 0});
  EXPECT_EQ(FindHitRecord(State().hits, ped), nullptr);
  EXPECT_TRUE(State().hits.records.empty());

  HitRecord& created = FindOrCreateHitRecord(State().hits, ped);
  EXPECT_EQ(created.clock, 0u);
  EXPECT_EQ(created.weapon, 0);
  EXPECT_EQ(created.piece, 0);
  created = {1234, 22, 9};
  HitRecord& again = FindOrCreateHitRecord(State().hits, ped);
  EXPECT_EQ(&again, &created);
  EXPECT_EQ(again.clock, 1234u);
  ASSERT_EQ(FindHitRecord(State().hits, ped), &created);

  EraseHitRecord(State().hits, ped);
  EXPECT_EQ(FindHitRecord(State().hits, ped), nullptr);
  EraseHitRecord(State().hits, ped);  // no record: nothing happens
  EraseHitRecord(State().hits, nullptr);
  EXPECT_TRUE(State().hits.records.empty());
}

TEST_F(WeaponClassesTest, AimRaysComeFromTheShooterAndTheActiveView) {
  HostPed* shooter = sim.AddPed({100, 100, 100});
  SimEntity* e = SimHost::Sim(shooter);
  e->hasMatrix = true;  // the matrix translation wins over the position field
  e->matrix = TranslationMatrix({1, 2, 3});
  sim.aimOffset = {0, 0, 0.5f};
  sim.aimDirection = {0, 0.6f, 0.8f};
  sim.viewEye = {-1, -2, 4};
  sim.viewDirection = {1, 0, 0};

  AimRays rays{};
  GetAimRays(Host(), shooter, rays);
  ExpectVec(rays.aimStart, {1, 2, 3.5f});
  ExpectVec(rays.aimEnd, {1, 2 + 150 * 0.6f, 3.5f + 150 * 0.8f});
  ExpectVec(rays.viewStart, {-1, -2, 4});
  ExpectVec(rays.viewEnd, {149, -2, 4});

  e->hasMatrix = false;
  rays = AimRays{};
  GetAimRays(Host(), shooter, rays);
  ExpectVec(rays.aimStart, {100, 100, 100.5f});
}

TEST_F(WeaponClassesTest, BonePositionsFallBackToTheHostQuery) {
  HostHierarchy* hierarchy = sim.AddHierarchy();
  SimHierarchy* h = SimHost::Sim(hierarchy);
  h->boneIds = {5, 22, 41};
  h->boneMatrices = {TranslationMatrix({1, 1, 1}), TranslationMatrix({2, 2, 2}),
                     TranslationMatrix({3, 3, 3})};
  h->boneCount = 3;
  HostPed* ped = sim.AddPed({9, 9, 9}, sim.AddRenderObject(hierarchy));
  SimHost::Sim(ped)->queryBones = {{22, {7, 7, 7}}, {41, {8, 8, 8}}, {52, {6, 6, 6}}};

  ExpectVec(GetBonePosition(Host(), ped, 22), {2, 2, 2});
  ExpectVec(GetBonePosition(Host(), ped, 52), {6, 6, 6});  // negative index
  ExpectVec(GetBonePosition(Host(), ped, 3), {9, 9, 9});   // the host's own answer

  // The host claims fewer bones than the index it gives: the index is not trusted.
  h->boneCount = 2;
  ExpectVec(GetBonePosition(Host(), ped, 41), {8, 8, 8});

  h->boneMatrices.clear();  // no matrix array
  ExpectVec(GetBonePosition(Host(), ped, 22), {7, 7, 7});

  h->boneMatrices = {TranslationMatrix({1, 1, 1}), TranslationMatrix({2, 2, 2})};
  SimHost::Sim(sim.Sim(ped)->renderObject)->hierarchy = nullptr;  // no skin hierarchy
  ExpectVec(GetBonePosition(Host(), ped, 22), {7, 7, 7});

  SimHost::Sim(ped)->renderObject = nullptr;  // no render object
  ExpectVec(GetBonePosition(Host(), ped, 22), {7, 7, 7});
}

}  // namespace
