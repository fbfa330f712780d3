#include <gtest/gtest.h>

#include <algorithm>

#include "host/sim/sim_math.h"
#include "model_import.h"
#include "tiny_model.h"

namespace {

// A static figure turned so that canonical up (z), front (y) and right (x) lie along the
// given axes of its own space.
TinyBox Turned(Vec3 lo, Vec3 hi, Vec3 up, Vec3 front) {
  const Vec3 right = Cross(front, up);
  auto map = [&](Vec3 p) { return right * p.x + front * p.y + up * p.z; };
  const Vec3 a = map(lo), b = map(hi);
  return {{std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)},
          {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)},
          ""};
}

Vec3 Middle(const SimGeometry& g, size_t box) {
  Vec3 sum{0, 0, 0};
  for (size_t v = 24 * box; v < 24 * (box + 1); ++v) sum = sum + g.positions[v];
  return sum * (1.0f / 24.0f);
}

TEST(ModelFacing, TheUsersUpAndFacingStandTheModelUpFacingTheCamera) {
  const char* const cases[][2] = {{"+z", "+y"}, {"y", "+z"}, {"-y", "+x"}, {"+x", "-z"}};
  for (const auto& c : cases) {
    ModelFacing facing;
    ASSERT_TRUE(ParseModelAxis(c[0], &facing.up));
    ASSERT_TRUE(ParseModelAxis(c[1], &facing.front));
    const std::vector<TinyBox> boxes = {
        Turned({-0.2f, -0.1f, 0.0f}, {0.2f, 0.1f, 1.5f}, facing.up, facing.front),   // body
        Turned({-0.1f, 0.1f, 1.5f}, {0.1f, 0.2f, 1.8f}, facing.up, facing.front),    // face
        Turned({0.2f, -0.05f, 1.0f}, {0.7f, 0.05f, 1.1f}, facing.up, facing.front),  // right arm
    };
    TempFolder folder;
    const std::string model = folder.Write("turned.obj", TinyObjText(boxes));
    SimHost sim;
    ImportedPed ped;
    std::string error;
    ASSERT_TRUE(ImportPedModel(sim, model, "", {}, ped, error, facing)) << error;
    ASSERT_EQ(ped.geometries.size(), 1u);
    const SimGeometry& g = *SimHost::Sim(ped.geometries[0]);
    const Vec3 body = Middle(g, 0), face = Middle(g, 1), arm = Middle(g, 2);
    EXPECT_GT(face.z, body.z + 0.5f) << c[0] << " " << c[1];
    EXPECT_GT(face.y, body.y + 0.05f) << c[0] << " " << c[1];
    EXPECT_GT(arm.x, body.x + 0.2f) << c[0] << " " << c[1];
  }
  Vec3 axis;
  for (const char* bad : {"", "w", "++x", "x+", "+xy"}) EXPECT_FALSE(ParseModelAxis(bad, &axis));
}

}  // namespace
