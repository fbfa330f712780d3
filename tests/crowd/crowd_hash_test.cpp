// The stress crowd's painted bytes, pinned: every mask byte of a second of fight hashed,
// as the benchmark BM_CrowdMaskHash reports them. A painter that changes one byte of the
// crowd's blood fails here. The MaskSize 1024 crowds take minutes under the sanitizers:
// they run only with VT_CROWD_1024=1 in the environment.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "fight_scenarios.h"

namespace {

struct CrowdCase {
  int32_t maskSize;
  bool moving;
  int32_t followPose;
  float budgetMs;
  uint32_t hash;
};

// Names the case in failures instead of dumping its bytes.
void PrintTo(const CrowdCase& c, std::ostream* out) {
  *out << "mask " << c.maskSize << (c.moving ? ", moving" : ", still") << ", FollowPose "
       << c.followPose << ", budget " << c.budgetMs;
}

std::string Name(const ::testing::TestParamInfo<CrowdCase>& info) {
  const CrowdCase& c = info.param;
  char name[64];
  std::snprintf(name, sizeof(name), "Mask%d%sFollowPose%dBudget%d", static_cast<int>(c.maskSize),
                c.moving ? "Moving" : "Still", static_cast<int>(c.followPose),
                static_cast<int>(c.budgetMs));
  return name;
}

class CrowdMaskHash : public ::testing::TestWithParam<CrowdCase> {};

TEST_P(CrowdMaskHash, PaintsTheBytesItAlwaysHas) {
  const CrowdCase& c = GetParam();
  const char* large = std::getenv("VT_CROWD_1024");
  if (c.maskSize > 256 && !(large && std::string(large) == "1")) {
    GTEST_SKIP() << "set VT_CROWD_1024=1 to run the MaskSize 1024 crowds";
  }
  FightSettings settings;
  settings.maskSize = c.maskSize;
  settings.moving = c.moving;
  settings.followPose = c.followPose;
  settings.budgetMs = c.budgetMs;
  settings.warm = false;
  const FightFigures figures = RunStressCrowd(settings);
  ASSERT_TRUE(figures.valid);
  EXPECT_EQ(figures.maskHash, c.hash) << std::hex << "0x" << figures.maskHash;
  // A budget counts work, not time: the same fight paints the same blood again.
  if (c.budgetMs > 0.0f) {
    EXPECT_EQ(RunStressCrowd(settings).maskHash, c.hash);
  }
}

// Still peds, and moving ones without FollowPose, keep the first painter's blood.
INSTANTIATE_TEST_SUITE_P(Crowds, CrowdMaskHash,
                         ::testing::Values(CrowdCase{256, false, 0, 0.0f, 0xABB241A3u},
                                           CrowdCase{256, false, 1, 0.0f, 0xABB241A3u},
                                           CrowdCase{256, true, 0, 0.0f, 0xABB241A3u},
                                           CrowdCase{256, true, 1, 0.0f, 0xC5E5F7FAu},
                                           CrowdCase{256, true, 0, 1.0f, 0x8DCFC861u},
                                           CrowdCase{1024, false, 0, 0.0f, 0x61376652u},
                                           CrowdCase{1024, true, 1, 0.0f, 0xB54ED35Au}),
                         Name);

}  // namespace
