#include "texel_reuse.h"

#include <gtest/gtest.h>

#include "model_import.h"
#include "tiny_model.h"

namespace {

constexpr int32_t kMaskSize = 64;

TEST(TexelReuse, CountsTexelsTwoPartsShareButNotMirroredOnes) {
  const struct {
    float secondU0, secondU1;
    double share;
  } cases[] = {
      {0.0f, 0.5f, 0.5f},  // the second box lies on the first's texels: half the texels serve two
      {0.5f, 0.0f, 0.0f},  // mirrored, it gets texture space of its own
  };
  for (const auto& c : cases) {
    const std::vector<TinyBox> boxes = {
        {{-0.2f, -0.1f, 0.0f}, {0.2f, 0.1f, 1.0f}, "", 0.0f, 0.0f, 0.5f, 0.5f},
        {{-0.2f, -0.1f, 1.05f}, {0.2f, 0.1f, 1.5f}, "", c.secondU0, 0.0f, c.secondU1, 0.5f},
        {{-0.1f, -0.1f, 1.55f}, {0.1f, 0.1f, 1.8f}, "", 0.5f, 0.5f, 1.0f, 1.0f},
    };
    TempFolder folder;
    const std::string model = folder.Write("boxes.obj", TinyObjText(boxes));
    SimHost sim;
    ImportedPed ped;
    std::string error;
    ASSERT_TRUE(ImportPedModel(sim, model, "", {}, ped, error)) << error;
    const TexelReuse reuse = MeasureTexelReuse(sim, ped.ped, kMaskSize);
    EXPECT_GT(reuse.covered, 0);
    EXPECT_NEAR(ReusedShare(reuse), c.share, 0.02) << c.secondU0;
    EXPECT_EQ(reuse.straddling, 0);
  }
}

}  // namespace
