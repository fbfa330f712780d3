#include "wounds/posed_mesh.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/wound_world.h"

namespace {

HostMatrix Bone(float m00, float m01, float m10, float m11, Vec3 t) {
  HostMatrix m = TranslationMatrix(t);
  m.m[0][0] = m00;
  m.m[0][1] = m01;
  m.m[1][0] = m10;
  m.m[1][1] = m11;
  return m;
}

class PosedMesh : public WoundTest {
 protected:
  // One triangle with its first vertex at p; influences set per test.
  HostGeometry* AddTriangle(Vec3 p) {
    GridSpec shape;
    shape.columns = shape.rows = 1;
    HostGeometry* geometry = AddGrid(shape);
    SimHost::Sim(geometry)->positions[0] = p;
    return geometry;
  }
  SimSkin* SkinOf(HostGeometry* geometry) { return SimHost::Sim(SimHost::Sim(geometry)->skin); }
};

TEST_F(PosedMesh, PedsWithoutRenderObjectOrHierarchyGiveNoSnapshot) {
  PosedMeshSnapshot snapshot;
  EXPECT_FALSE(TakePosedMeshSnapshot(Context(), sim.AddPed({0, 0, 0}), snapshot));
  HostRenderObject* bare = sim.AddRenderObject(nullptr);
  sim.AddMesh(bare, AddTriangle({0, 0, 0}));
  EXPECT_FALSE(TakePosedMeshSnapshot(Context(), sim.AddPed({0, 0, 0}, bare), snapshot));
  EXPECT_TRUE(snapshot.meshes.empty());
}

TEST_F(PosedMesh, EveryMeshIsTriedAndOnlyTheSkinnedOnesGetPositions) {
  HostGeometry* unskinned = AddTriangle({0, 0, 0});
  SimHost::Sim(unskinned)->skin = nullptr;
  HostGeometry* skinned = AddTriangle({0, 0, 0});
  HostPed* ped = AddPedWith({unskinned, skinned});
  PosedMeshSnapshot snapshot;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
  ASSERT_EQ(snapshot.meshes, MeshesOf(ped));
  EXPECT_TRUE(snapshot.positions[0].empty());
  EXPECT_EQ(snapshot.positions[1].size(), 4u);

  // A null mesh in a broken render object is never handed on to be skinned.
  const std::vector<HostMesh*> meshes = MeshesOf(ped);
  SimHost::Sim(sim.PedRenderObject(ped))->meshes.push_back(nullptr);
  PosedMeshSnapshot again;
  ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, again));
  EXPECT_EQ(again.meshes, meshes);
}

// Row vectors: p' = x row1 + y row2 + z row3 + row4; inverse bind first, then the bone,
// then (flag 0x4000 with a root object) the root matrix.
TEST_F(PosedMesh, SkinningFollowsTheHostConventionAndUsesWeightsAsStored) {
  const HostMatrix inverseBind = Bone(1, 0, 0, 1, {-1, 0, 0});
  const HostMatrix quarterTurn = Bone(0, 1, -1, 0, {0, 0, 2});  // x -> y, y -> -x
  const HostMatrix rootShift = Bone(1, 0, 0, 1, {10, 0, 0});
  struct Case {
    const char* name;
    float weights[4];
    uint32_t indices;
    uint32_t flags;
    bool withRoot;
    Vec3 expected;
  } cases[] = {
      // (3, 0, 0) -> (2, 0, 0) -> (0, 2, 2)
      {"one bone", {1, 0, 0, 0}, 0x00000001, 0, false, {0, 2, 2}},
      {"four quarters on one bone", {0.25f, 0.25f, 0.25f, 0.25f}, 0x01010101, 0, false, {0, 2, 2}},
      {"weights summing to 0.8", {0.4f, 0.4f, 0, 0}, 0x00000101, 0, false, {0, 1.6f, 1.6f}},
      {"zero and negative weights ignored", {1, 0, -1, 0}, 0x00000001, 0, false, {0, 2, 2}},
      {"bone index at the count ignored", {0.5f, 0.5f, 0, 0}, 0x00000201, 0, false, {0, 1, 1}},
      {"no influence left: origin", {0, 0, 0, 0}, 0x01010101, 0, false, {0, 0, 0}},
      {"root applied with the flag", {1, 0, 0, 0}, 0x00000001, 0x4000, true, {10, 2, 2}},
      {"root ignored without the flag", {1, 0, 0, 0}, 0x00000001, 0, true, {0, 2, 2}},
      {"flag without a root object", {1, 0, 0, 0}, 0x00000001, 0x4000, false, {0, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostGeometry* geometry = AddTriangle({3, 0, 0});
    SimSkin* skin = SkinOf(geometry);
    skin->inverseBind = {IdentityMatrix(), inverseBind};
    for (int k = 0; k < 4; ++k) skin->weights[static_cast<size_t>(k)] = c.weights[k];
    skin->boneIndices[0] = c.indices;
    HostHierarchy* hierarchy = AddBones(2);
    SimHierarchy* h = SimHost::Sim(hierarchy);
    h->boneMatrices[1] = quarterTurn;
    h->flags = c.flags;
    if (c.withRoot) {
      h->root = sim.AddFrame();
      h->root->matrix = rootShift;
    }
    HostMesh* mesh = sim.AddMesh(nullptr, geometry);
    std::vector<Vec3> out;
    ASSERT_TRUE(SkinMeshVertices(Context(), mesh, hierarchy, out));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_FLOAT_EQ(out[0].x, c.expected.x);
    EXPECT_FLOAT_EQ(out[0].y, c.expected.y);
    EXPECT_FLOAT_EQ(out[0].z, c.expected.z);
  }
}

TEST_F(PosedMesh, MissingOrBrokenHostDataLeavesTheOutputUntouched) {
  struct Case {
    const char* name;
    void (*breakIt)(SimGeometry&, SimSkin&, SimHierarchy&);
  } cases[] = {
      {"no skin record", [](SimGeometry& g, SimSkin&, SimHierarchy&) { g.skin = nullptr; }},
      {"no vertex data", [](SimGeometry& g, SimSkin&, SimHierarchy&) { g.hasVertexData = false; }},
      {"no positions", [](SimGeometry& g, SimSkin&, SimHierarchy&) { g.positions.clear(); }},
      {"no bone matrices", [](SimGeometry&, SimSkin&, SimHierarchy& h) { h.boneMatrices.clear(); }},
      {"no weights", [](SimGeometry&, SimSkin& s, SimHierarchy&) { s.weights.clear(); }},
      {"no bone indices", [](SimGeometry&, SimSkin& s, SimHierarchy&) { s.boneIndices.clear(); }},
      {"no inverse bind", [](SimGeometry&, SimSkin& s, SimHierarchy&) { s.inverseBind.clear(); }},
      {"negative vertex count",
       [](SimGeometry& g, SimSkin&, SimHierarchy&) { g.vertexCount = -4; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostGeometry* geometry = AddTriangle({1, 2, 3});
    HostHierarchy* hierarchy = AddBones(1);
    c.breakIt(*SimHost::Sim(geometry), *SkinOf(geometry), *SimHost::Sim(hierarchy));
    std::vector<Vec3> out(2, Vec3{7, 7, 7});
    EXPECT_FALSE(SkinMeshVertices(Context(), sim.AddMesh(nullptr, geometry), hierarchy, out));
    EXPECT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].x, 7.0f);
  }
  std::vector<Vec3> out;
  EXPECT_FALSE(SkinMeshVertices(Context(), sim.AddMesh(nullptr, nullptr), AddBones(1), out));
  EXPECT_FALSE(
      SkinMeshVertices(Context(), sim.AddMesh(nullptr, AddTriangle({0, 0, 0})), nullptr, out));
}

TEST_F(PosedMesh, NegativeBoneCountLeavesEveryVertexAtTheOrigin) {
  HostGeometry* geometry = AddTriangle({1, 2, 3});
  HostHierarchy* hierarchy = AddBones(1);
  SimHost::Sim(hierarchy)->boneCount = -5;
  std::vector<Vec3> out;
  ASSERT_TRUE(SkinMeshVertices(Context(), sim.AddMesh(nullptr, geometry), hierarchy, out));
  for (const Vec3& p : out) EXPECT_EQ(Length(p), 0.0f);
}

TEST_F(PosedMesh, BoneScratchGrowsToTheLargestCountAndKeepsItsStorage) {
  HostMesh* mesh = sim.AddMesh(nullptr, AddTriangle({0, 0, 0}));
  SimHost::Sim(SimHost::Sim(SimHost::Sim(mesh)->geometry)->skin)
      ->inverseBind.assign(40, IdentityMatrix());
  std::vector<Vec3> out;
  ASSERT_TRUE(SkinMeshVertices(Context(), mesh, AddBones(40), out));
  const HostMatrix* storage = scratch.bones.data();
  ASSERT_TRUE(SkinMeshVertices(Context(), mesh, AddBones(3), out));
  EXPECT_EQ(scratch.bones.size(), 3u);
  EXPECT_EQ(scratch.bones.data(), storage);
}

}  // namespace
