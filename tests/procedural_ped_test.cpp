#include "host/sim/procedural_ped.h"
#include "host/game_facts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "host/sim/sim_math.h"
#include "plugin/system_state.h"
#include "wounds/posed_mesh.h"

namespace {

constexpr float kPi = 3.14159265358979f;

// Skins every vertex by hand, the way the host's skinning is defined: inverse bind, then
// the bone matrix, then the root frame when flag 0x4000 is set.
std::vector<Vec3> SkinByHand(HostGeometry* geometry, HostHierarchy* hierarchy) {
  const SimGeometry* g = SimHost::Sim(geometry);
  const SimSkin* skin = SimHost::Sim(g->skin);
  const SimHierarchy* h = SimHost::Sim(hierarchy);
  std::vector<Vec3> out;
  for (int v = 0; v < g->vertexCount; ++v) {
    Vec3 sum{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      float w = skin->weights[static_cast<size_t>(v * 4 + k)];
      int j = static_cast<int>((skin->boneIndices[static_cast<size_t>(v)] >> (8 * k)) & 0xFF);
      if (w <= 0.0f || j >= h->boneCount) continue;
      HostMatrix m = Multiply(skin->inverseBind[static_cast<size_t>(j)],
                              h->boneMatrices[static_cast<size_t>(j)]);
      if ((h->flags & 0x4000) && h->root) m = Multiply(m, h->root->matrix);
      sum = sum + TransformPoint(m, g->positions[static_cast<size_t>(v)]) * w;
    }
    out.push_back(sum);
  }
  return out;
}

int HeaviestBone(const SimSkin* skin, int v) {
  return static_cast<int>(skin->boneIndices[static_cast<size_t>(v)] & 0xFF);
}

float UvArea(const SimGeometry* g, const HostTriangle& t) {
  TexCoord a = g->texCoords[t.vertex[0]], b = g->texCoords[t.vertex[1]];
  TexCoord c = g->texCoords[t.vertex[2]];
  return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

Vec3 Corner(const SimGeometry* g, const HostTriangle& t, int k) {
  return g->positions[t.vertex[k]];
}

TEST(ProceduralPed, GeometriesAreWellFormed) {
  SimHost sim;
  ProceduralPed ped = AddProceduralPed(sim);
  int triangles = 0;
  for (HostGeometry* geometry : {ped.bodyGeometry, ped.headGeometry}) {
    const SimGeometry* g = SimHost::Sim(geometry);
    const SimSkin* skin = SimHost::Sim(g->skin);
    ASSERT_NE(skin, nullptr);
    size_t n = static_cast<size_t>(g->vertexCount);
    ASSERT_EQ(g->positions.size(), n);
    ASSERT_EQ(g->normals.size(), n);
    ASSERT_EQ(g->texCoords.size(), n);
    ASSERT_EQ(skin->weights.size(), 4 * n);
    ASSERT_EQ(skin->boneIndices.size(), n);
    ASSERT_EQ(skin->inverseBind.size(), static_cast<size_t>(kProceduralBoneCount));
    ASSERT_EQ(g->triangles.size(), static_cast<size_t>(g->triangleCount));
    triangles += g->triangleCount;
    std::vector<int> perMaterial(g->materials.size(), 0);
    double volume = 0.0;
    for (const HostTriangle& t : g->triangles) {
      for (int k = 0; k < 3; ++k) ASSERT_LT(t.vertex[k], g->vertexCount);
      ASSERT_LT(t.material, g->materials.size());
      ++perMaterial[t.material];
      Vec3 a = Corner(g, t, 0), b = Corner(g, t, 1), c = Corner(g, t, 2);
      Vec3 face = Cross(b - a, c - a);
      ASSERT_GT(Length(face), 0.0f) << "degenerate triangle";
      // Counter-clockwise seen from outside: the face agrees with the vertex normals.
      Vec3 normals = g->normals[t.vertex[0]] + g->normals[t.vertex[1]] + g->normals[t.vertex[2]];
      EXPECT_GT(Dot(face, normals), 0.0f);
      volume += Dot(a, Cross(b, c)) / 6.0;
    }
    // Outward winding encloses a positive volume (a whole body holds some 50-100 litres).
    EXPECT_GT(volume, geometry == ped.bodyGeometry ? 0.04 : 0.004);
    EXPECT_LT(volume, 0.12);
    for (int count : perMaterial) EXPECT_GT(count, 0);
    bool blended = false;
    for (size_t v = 0; v < n; ++v) {
      EXPECT_NEAR(Length(g->normals[v]), 1.0f, 1e-4f);
      EXPECT_GE(g->texCoords[v].u, 0.0f);
      EXPECT_LT(g->texCoords[v].u, 1.0f);
      EXPECT_GE(g->texCoords[v].v, 0.0f);
      EXPECT_LT(g->texCoords[v].v, 1.0f);
      float sum = 0.0f;
      int influences = 0;
      for (int k = 0; k < 4; ++k) {
        float w = skin->weights[4 * v + static_cast<size_t>(k)];
        EXPECT_GE(w, 0.0f);
        sum += w;
        if (w > 0.0f) {
          ++influences;
          EXPECT_LT((skin->boneIndices[v] >> (8 * k)) & 0xFF,
                    static_cast<uint32_t>(kProceduralBoneCount));
        }
      }
      EXPECT_NEAR(sum, 1.0f, 1e-5f);
      blended = blended || influences >= 2;
    }
    EXPECT_TRUE(blended) << "joints blend their bones";
  }
  EXPECT_GE(triangles, 2000);
  EXPECT_LE(triangles, 4000);
  EXPECT_EQ(SimHost::Sim(ped.bodyGeometry)->materials.size(), 2u);
  EXPECT_EQ(SimHost::Sim(ped.headGeometry)->materials.size(), 1u);

  const SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  std::vector<int32_t> ids = h->boneIds;
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 4, 5, 21, 22, 23, 24, 31, 32, 33, 34, 41, 42, 43,
                                       51, 52, 53}));
  EXPECT_EQ(h->boneCount, 19);
  EXPECT_EQ(SimHost::Sim(ped.ped)->model, 7);
  EXPECT_EQ(sim.PedPoolSlot(0), ped.ped);
  EXPECT_EQ(sim.PedRenderObject(ped.ped), ped.object);
}

TEST(ProceduralPed, RightSideMirrorsTheLeftSideInTextureSpace) {
  SimHost sim;
  ProceduralPed ped = AddProceduralPed(sim);
  for (HostGeometry* geometry : {ped.bodyGeometry, ped.headGeometry}) {
    const SimGeometry* g = SimHost::Sim(geometry);
    // Left triangles by their texture coordinates (as a set of corners).
    using Key = std::vector<std::pair<float, float>>;
    auto key = [&](const HostTriangle& t) {
      Key k;
      for (int i = 0; i < 3; ++i)
        k.push_back({g->texCoords[t.vertex[i]].u, g->texCoords[t.vertex[i]].v});
      std::sort(k.begin(), k.end());
      return k;
    };
    std::map<Key, const HostTriangle*> left;
    int mirrored = 0;
    for (const HostTriangle& t : g->triangles) {
      float area = UvArea(g, t);
      ASSERT_NE(area, 0.0f);
      Vec3 centre = (Corner(g, t, 0) + Corner(g, t, 1) + Corner(g, t, 2)) * (1.0f / 3.0f);
      if (area > 0.0f) {
        EXPECT_LE(centre.x, 1e-6f) << "positive texture area on the left (-x)";
        left[key(t)] = &t;
      }
    }
    for (const HostTriangle& t : g->triangles) {
      if (UvArea(g, t) > 0.0f) continue;
      ++mirrored;
      auto found = left.find(key(t));
      ASSERT_NE(found, left.end()) << "a mirrored triangle without its left twin";
      // Same texels, mirrored place: each corner's twin with the same coordinates sits at -x.
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
          uint16_t a = t.vertex[i], b = found->second->vertex[j];
          if (g->texCoords[a].u != g->texCoords[b].u || g->texCoords[a].v != g->texCoords[b].v) {
            continue;
          }
          EXPECT_FLOAT_EQ(g->positions[a].x, -g->positions[b].x);
          EXPECT_FLOAT_EQ(g->positions[a].y, g->positions[b].y);
          EXPECT_FLOAT_EQ(g->positions[a].z, g->positions[b].z);
        }
      }
    }
    EXPECT_EQ(2 * mirrored, g->triangleCount);
  }
}

struct PoseCase {
  const char* name;
  PedPlacement placement;
};

// Every pose and placement: hand skinning agrees with the bones and the host's bone query,
// bodies keep their shape, and the root-matrix layout gives the same world.
TEST(ProceduralPed, PosesPlaceTheBodyInTheWorld) {
  const PoseCase cases[] = {
      {"standing", {{0, 0, 0}, 0, PedPose::Standing, false}},
      {"standing turned", {{10, -5, 3}, 0.5f * kPi, PedPose::Standing, false}},
      {"arms raised", {{-2, 7, 1}, 1.0f, PedPose::ArmsRaised, false}},
      {"lying", {{0, 0, 0}, 0, PedPose::Lying, false}},
      {"lying turned", {{40, 12, -3}, 2.5f, PedPose::Lying, false}},
  };
  for (const PoseCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimHost sim;
    ProceduralPed ped = AddProceduralPed(sim, c.placement);
    PedPlacement rooted = c.placement;
    rooted.rootMatrix = true;
    ProceduralPed rootedPed = AddProceduralPed(sim, rooted);
    const SimHierarchy* rh = SimHost::Sim(rootedPed.hierarchy);
    EXPECT_EQ(rh->flags & 0x4000u, 0x4000u);
    EXPECT_NE(rh->root, nullptr);
    EXPECT_EQ(SimHost::Sim(ped.hierarchy)->flags & 0x4000u, 0u);

    const HostMatrix place = PlacementMatrix(c.placement.position, c.placement.heading);
    const Vec3 pos = c.placement.position;
    EXPECT_EQ(sim.EntityPosition(AsEntity(ped.ped)).x, pos.x);
    EXPECT_EQ(sim.EntityPosition(AsEntity(ped.ped)).y, pos.y);
    EXPECT_EQ(sim.EntityPosition(AsEntity(ped.ped)).z, pos.z);

    for (int32_t id : kProceduralBoneIds) {
      Vec3 bone = ProceduralBonePosition(sim, ped, id);
      Vec3 query = sim.PedBonePosition(ped.ped, id);
      Vec3 rootedBone = ProceduralBonePosition(sim, rootedPed, id);
      EXPECT_LT(Length(bone - query), 1e-5f) << id;
      EXPECT_LT(Length(bone - rootedBone), 1e-4f) << id;
    }

    float minZ = 1e9f, maxZ = -1e9f;
    for (HostGeometry* geometry : {ped.bodyGeometry, ped.headGeometry}) {
      const SimGeometry* g = SimHost::Sim(geometry);
      const SimSkin* skin = SimHost::Sim(g->skin);
      std::vector<Vec3> world = SkinByHand(geometry, ped.hierarchy);
      std::vector<Vec3> rootedWorld =
          SkinByHand(geometry == ped.bodyGeometry ? rootedPed.bodyGeometry : rootedPed.headGeometry,
                     rootedPed.hierarchy);
      for (size_t v = 0; v < world.size(); ++v) {
        minZ = std::min(minZ, world[v].z);
        maxZ = std::max(maxZ, world[v].z);
        ASSERT_LT(Length(world[v] - rootedWorld[v]), 1e-4f);
        if (c.placement.pose == PedPose::Standing) {
          // The bind pose, placed.
          ASSERT_LT(Length(world[v] - TransformPoint(place, g->positions[v])), 1e-4f);
        }
        // A vertex held by one bone moves rigidly with it.
        if (skin->weights[4 * v] == 1.0f) {
          int b = HeaviestBone(skin, static_cast<int>(v));
          Vec3 bindJoint = MatrixTranslation(InverseMatrix(skin->inverseBind[b]));
          Vec3 joint = ProceduralBonePosition(sim, ped, kProceduralBoneIds[b]);
          ASSERT_NEAR(Length(world[v] - joint), Length(g->positions[v] - bindJoint), 1e-4f);
        }
      }
    }
    Vec3 head = ProceduralBonePosition(sim, ped, game::bone::kHead);
    Vec3 pelvis = ProceduralBonePosition(sim, ped, game::bone::kPelvis);
    Vec3 leftHand = ProceduralBonePosition(sim, ped, game::bone::kLeftHand);
    Vec3 rightHand = ProceduralBonePosition(sim, ped, game::bone::kRightHand);
    switch (c.placement.pose) {
      case PedPose::Standing: {
        EXPECT_NEAR(minZ, pos.z, 1e-4f);
        EXPECT_NEAR(maxZ - pos.z, 1.8f, 0.03f);
        EXPECT_GT(head.z - pos.z, 1.55f);
        EXPECT_LT(head.z - pos.z, 1.8f);
        // Facing the heading's +y: the right hand is on the heading's +x side.
        Vec3 right = TransformVector(place, {1, 0, 0});
        EXPECT_GT(Dot(rightHand - leftHand, right), 0.4f);
        break;
      }
      case PedPose::ArmsRaised:
        EXPECT_GT(leftHand.z, maxZ - 0.3f);
        EXPECT_GT(rightHand.z, head.z + 0.3f);
        EXPECT_NEAR(minZ, pos.z, 1e-4f);
        break;
      case PedPose::Lying: {
        EXPECT_GT(minZ, pos.z - 0.01f);
        EXPECT_LT(maxZ, pos.z + 0.35f);
        EXPECT_LT(Length(Vec3{pelvis.x - pos.x, pelvis.y - pos.y, 0}), 1e-4f);
        // Head towards the heading's -y.
        Vec3 back = TransformVector(place, {0, -1, 0});
        EXPECT_GT(Dot(head - pelvis, back), 0.55f);
        EXPECT_EQ(sim.PedHealth(ped.ped), 0.0f);
        break;
      }
    }
  }
}

TEST(ProceduralPed, RePosingInPlaceAndSharedModels) {
  SimHost sim;
  ProceduralPed ped = AddProceduralPed(sim, {{1, 2, 3}, 0, PedPose::Standing, true});
  PoseProceduralPed(sim, ped, {{5, 5, 0}, 0, PedPose::ArmsRaised, false});
  const SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  EXPECT_EQ(h->flags & 0x4000u, 0u);
  EXPECT_EQ(h->root, nullptr);
  EXPECT_GT(ProceduralBonePosition(sim, ped, game::bone::kRightHand).z, 1.9f);
  EXPECT_EQ(sim.EntityPosition(AsEntity(ped.ped)).x, 5.0f);
  EXPECT_EQ(sim.PedHealth(ped.ped), 100.0f);
  // A bone the skeleton lacks falls back to the ped's position.
  EXPECT_EQ(ProceduralBonePosition(sim, ped, 99).x, 5.0f);

  ProceduralPed twin = AddProceduralPedLike(sim, ped, {{9, 0, 0}, 0, PedPose::Lying, false});
  EXPECT_EQ(twin.bodyGeometry, ped.bodyGeometry);
  EXPECT_EQ(twin.headSkin, ped.headSkin);
  EXPECT_NE(twin.hierarchy, ped.hierarchy);
  EXPECT_NE(twin.ped, ped.ped);
  EXPECT_EQ(sim.PedPoolSlot(1), twin.ped);
  EXPECT_LT(ProceduralBonePosition(sim, twin, game::bone::kHead).z, 0.35f);

  // Deterministic: a second build is the same to the byte.
  SimHost other;
  ProceduralPed again = AddProceduralPed(other, {{1, 2, 3}, 0, PedPose::Standing, true});
  PoseProceduralPed(other, again, {{5, 5, 0}, 0, PedPose::ArmsRaised, false});
  const SimGeometry* a = SimHost::Sim(ped.bodyGeometry);
  const SimGeometry* b = SimHost::Sim(again.bodyGeometry);
  ASSERT_EQ(a->positions.size(), b->positions.size());
  EXPECT_EQ(
      0, std::memcmp(a->positions.data(), b->positions.data(), a->positions.size() * sizeof(Vec3)));
  const SimHierarchy* hb = SimHost::Sim(again.hierarchy);
  EXPECT_EQ(0, std::memcmp(h->boneMatrices.data(), hb->boneMatrices.data(),
                           h->boneMatrices.size() * sizeof(HostMatrix)));
}

// The system's own skinning sees the same posed body as the hand skinning above.
TEST(ProceduralPed, PosedMeshSnapshotSeesThePosedBody) {
  for (bool rootMatrix : {false, true}) {
    ResetSystemState();
    SimHost sim;
    State().host = &sim;
    ProceduralPed ped = AddProceduralPed(sim, {{3, -8, 1}, 2.0f, PedPose::Lying, rootMatrix});
    PosedMeshSnapshot snapshot;
    ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped.ped, snapshot));
    ASSERT_EQ(snapshot.meshes, (std::vector<HostMesh*>{ped.body, ped.head}));
    for (size_t i = 0; i < 2; ++i) {
      std::vector<Vec3> expected =
          SkinByHand(i == 0 ? ped.bodyGeometry : ped.headGeometry, ped.hierarchy);
      ASSERT_EQ(snapshot.positions[i].size(), expected.size());
      for (size_t v = 0; v < expected.size(); ++v) {
        ASSERT_LT(Length(snapshot.positions[i][v] - expected[v]), 1e-4f);
      }
    }
    State().host = nullptr;
  }
  ResetSystemState();
}

}  // namespace
