#include "render/blood_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/wound_world.h"
#include "wounds/blood_state.h"

namespace {

class BloodGeometry : public WoundTest {
 protected:
  // Lines the log holds that start with prefix.
  int LogCount(const std::string& prefix) {
    std::vector<std::string> lines = ReadLogLines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.compare(0, prefix.size(), prefix) == 0;
    }));
  }
};

TEST_F(BloodGeometry, CopyCarriesEveryArrayThroughTheHostConstructor) {
  GridSpec shape;
  shape.columns = 2;
  shape.rows = 1;
  shape.material = 1;
  HostGeometry* source = AddGrid(shape);
  SimGeometry* g = SimHost::Sim(source);
  g->format = 0xFFFF00FF;
  g->normals.assign(6, Vec3{0, -1, 0});
  g->colours = {1, 2, 3, 4, 5, 6};
  std::copy_n(std::begin({1.0f, 2.0f, 3.0f, 4.0f}), 4, g->bounds);
  g->triangles[1].material = 0;

  HostGeometry* copy = GetBloodGeometry(Context(), source);
  ASSERT_NE(copy, nullptr);
  const SimGeometry* c = SimHost::Sim(copy);
  EXPECT_EQ(c->format, 0x7Eu);  // (format & 0x78) | 0x06
  EXPECT_EQ(c->vertexCount, 6);
  EXPECT_EQ(c->triangleCount, 4);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(c->positions[i].x, g->positions[i].x);
    EXPECT_EQ(c->positions[i].z, g->positions[i].z);
    EXPECT_EQ(c->normals[i].y, -1.0f);
    EXPECT_EQ(c->colours[i], g->colours[i]);
  }
  EXPECT_EQ(c->bounds[3], 4.0f);
  EXPECT_EQ(c->materials, g->materials);
  for (size_t t = 0; t < 4; ++t) {
    EXPECT_EQ(c->triangles[t].vertex[2], g->triangles[t].vertex[2]);
    EXPECT_EQ(c->triangles[t].material, g->triangles[t].material);
  }
  EXPECT_EQ(c->skin, g->skin);
  EXPECT_TRUE(c->finished);
  EXPECT_EQ(LogCount("blood geometry for "), 1);
}

// Helpers 6 (0.5, 0) and 7 (0.5, 1): (x, 6, 7) has positive signed area for u < 0.5.
// Vertex 0 is in two positive triangles and a mirrored one (side +1), vertex 1 in one of
// each (0), vertex 2 in a mirrored one (-1); vertices 3 and 4 have u = 1.0, positive and
// mirrored; vertex 5 only in a degenerate triangle.
TEST_F(BloodGeometry, MirrorSplitMovesMostlyMirroredVerticesRight) {
  HostGeometry* source = AddGrid(GridSpec{});
  SimGeometry* g = SimHost::Sim(source);
  g->texCoords = {{0.2f, 0.1f}, {0.3f, 0.2f}, {0.4f, 0.3f}, {1.0f, 0.4f},
                  {1.0f, 0.5f}, {0.6f, 0.6f}, {0.5f, 0.0f}, {0.5f, 1.0f}};
  g->triangles = {{{0, 6, 7}, 0}, {{0, 6, 7}, 0}, {{0, 7, 6}, 0}, {{1, 6, 7}, 0}, {{1, 7, 6}, 0},
                  {{2, 7, 6}, 0}, {{3, 7, 6}, 0}, {{4, 6, 7}, 0}, {{5, 5, 5}, 0}};
  g->positions.resize(8);
  g->vertexCount = 8;
  g->triangleCount = 9;
  HostGeometry* copy = CopyBloodGeometry(Host(), source, g->skin);
  ASSERT_NE(copy, nullptr);
  const std::vector<TexCoord>& uv = SimHost::Sim(copy)->texCoords;
  const float expectedU[] = {0.1f, 0.15f, 0.7f, 0.5f, 1.0f, 0.3f};
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(uv[i].u, expectedU[i]);
    EXPECT_EQ(uv[i].v, g->texCoords[i].v);
  }
}

TEST_F(BloodGeometry, CopiesAreSharedAndRenewedWhenTheSourceChanges) {
  HostGeometry* source = AddGrid(GridSpec{});
  SimGeometry* g = SimHost::Sim(source);
  HostGeometry* first = GetBloodGeometry(Context(), source);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetBloodGeometry(Context(), source), first);
  EXPECT_EQ(LogCount("blood geometry for "), 1);

  g->skin = sim.AddSkin();
  *SimHost::Sim(g->skin) = *SimHost::Sim(SimHost::Sim(first)->skin);
  HostGeometry* second = GetBloodGeometry(Context(), source);
  EXPECT_NE(second, first);
  g->triangles.pop_back();
  g->triangleCount -= 1;
  HostGeometry* third = GetBloodGeometry(Context(), source);
  EXPECT_NE(third, second);
  g->positions.pop_back();
  g->texCoords.pop_back();
  g->vertexCount -= 1;
  g->triangles.resize(1);
  g->triangleCount = 1;
  HostGeometry* fourth = GetBloodGeometry(Context(), source);
  EXPECT_NE(fourth, third);
  EXPECT_EQ(SimHost::Sim(fourth)->vertexCount, g->vertexCount);
  EXPECT_EQ(GetBloodGeometry(Context(), source), fourth);
  EXPECT_EQ(tables.bloodGeometryCache.size(), 1u);
  EXPECT_EQ(LogCount("blood geometry for "), 4);
  char expected[96];
  std::snprintf(expected, sizeof(expected), "blood geometry for %0*zX: %d vertices, %d triangles",
                static_cast<int>(2 * sizeof(void*)), reinterpret_cast<size_t>(source),
                g->vertexCount, 1);
  EXPECT_EQ(ReadLogLines().back(), expected);

  // Copies superseded this frame wait for the clock to move on (a draw may still use them),
  // one superseded later goes at once; none takes the source's skin record with it.
  EXPECT_EQ(tables.retiredGeometries.size(), 3u);
  EXPECT_FALSE(SimHost::Sim(first)->destroyed);
  sim.clock += 33;
  EnforceBloodMemory(Context(), nullptr);
  for (HostGeometry* old : {first, second, third}) EXPECT_TRUE(SimHost::Sim(old)->destroyed);
  EXPECT_TRUE(tables.retiredGeometries.empty());
  g->skin = sim.AddSkin();
  ASSERT_NE(GetBloodGeometry(Context(), source), fourth);
  EXPECT_TRUE(SimHost::Sim(fourth)->destroyed);
  EXPECT_EQ(sim.skinnedGeometriesDestroyed, 0);
}

TEST_F(BloodGeometry, SourcesThatCannotBeCopiedFailEveryTimeWithoutTouchingTheCache) {
  struct Case {
    const char* name;
    void (*breakIt)(SimHost&, SimGeometry&);
  } cases[] = {
      {"no skin record", [](SimHost&, SimGeometry& g) { g.skin = nullptr; }},
      {"no texture coordinates", [](SimHost&, SimGeometry& g) { g.texCoords.clear(); }},
      {"no triangles", [](SimHost&, SimGeometry& g) { g.triangles.clear(); }},
      {"no vertex data", [](SimHost&, SimGeometry& g) { g.hasVertexData = false; }},
      {"no positions", [](SimHost&, SimGeometry& g) { g.positions.clear(); }},
      {"negative vertex count", [](SimHost&, SimGeometry& g) { g.vertexCount = -1; }},
      {"negative triangle count", [](SimHost&, SimGeometry& g) { g.triangleCount = -1; }},
      {"constructor fails", [](SimHost& s, SimGeometry&) { s.failCreateGeometry = true; }},
  };
  int failures = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim.failCreateGeometry = false;
    HostGeometry* source = AddGrid(GridSpec{});
    c.breakIt(sim, *SimHost::Sim(source));
    EXPECT_EQ(GetBloodGeometry(Context(), source), nullptr);
    EXPECT_EQ(GetBloodGeometry(Context(), source), nullptr);
    failures += 2;
    EXPECT_TRUE(tables.bloodGeometryCache.empty());
  }
  EXPECT_EQ(LogCount("blood geometry copy FAILED"), failures);
}

TEST_F(BloodGeometry, TrianglesReachingPastTheVerticesAreCopiedButGiveNoSide) {
  GridSpec shape;
  shape.columns = shape.rows = 1;
  HostGeometry* source = AddGrid(shape);
  SimGeometry* g = SimHost::Sim(source);
  g->triangles[0] = {{0, 1, 60000}, 0};
  g->triangles[1] = {{1, 2, 3}, 0};  // mirrored
  HostGeometry* copy = CopyBloodGeometry(Host(), source, g->skin);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(SimHost::Sim(copy)->triangles[0].vertex[2], 60000);
  EXPECT_EQ(SimHost::Sim(copy)->texCoords[0].u, 0.0f);
  EXPECT_EQ(SimHost::Sim(copy)->texCoords[1].u, 1.0f);
}

}  // namespace
