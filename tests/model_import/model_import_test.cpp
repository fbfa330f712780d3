#include "model_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "host/sim/sim_math.h"
#include "support/unique_folder.h"

namespace {

const char* const kModel = "/usr/share/assimp/models/X/BCN_Epileptic.X";

// This process's own folder for the files the tests write, removed when it ends.
struct TempFiles {
  std::filesystem::path dir = MakeUniqueTempFolder("vt_model_import");
  ~TempFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

std::string WriteTemp(const std::string& name, const std::string& text) {
  static const TempFiles files;
  const std::string path = (files.dir / name).string();
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Hand skinning as the host defines it: inverse bind, bone matrix, then the root frame.
std::vector<Vec3> SkinByHand(HostGeometry* geometry, HostHierarchy* hierarchy) {
  const SimGeometry* g = SimHost::Sim(geometry);
  const SimSkin* skin = SimHost::Sim(g->skin);
  const SimHierarchy* h = SimHost::Sim(hierarchy);
  std::vector<Vec3> out;
  for (size_t v = 0; v < g->positions.size(); ++v) {
    Vec3 sum{0, 0, 0};
    for (size_t k = 0; k < 4; ++k) {
      float w = skin->weights[4 * v + k];
      size_t j = (skin->boneIndices[v] >> (8 * k)) & 0xFF;
      if (w <= 0.0f || j >= h->boneMatrices.size()) continue;
      HostMatrix m = Multiply(skin->inverseBind[j], h->boneMatrices[j]);
      if ((h->flags & 0x4000) && h->root) m = Multiply(m, h->root->matrix);
      sum = sum + TransformPoint(m, g->positions[v]) * w;
    }
    out.push_back(sum);
  }
  return out;
}

void Extent(const ImportedPed& ped, Vec3* lo, Vec3* hi) {
  *lo = {1e9f, 1e9f, 1e9f};
  *hi = {-1e9f, -1e9f, -1e9f};
  for (HostGeometry* g : ped.geometries) {
    for (const Vec3& p : SkinByHand(g, ped.hierarchy)) {
      *lo = {std::min(lo->x, p.x), std::min(lo->y, p.y), std::min(lo->z, p.z)};
      *hi = {std::max(hi->x, p.x), std::max(hi->y, p.y), std::max(hi->z, p.z)};
    }
  }
}

TEST(ModelImport, LoadsASkinnedAnimatedModelStandingAtItsPlacement) {
  SimHost sim;
  ImportedPed ped;
  std::string error;
  PedPlacement placement;
  placement.position = {12, -4, 2};
  ASSERT_TRUE(ImportPedModel(sim, kModel, "", placement, ped, error)) << error;
  EXPECT_EQ(ped.meshes.size(), 3u);
  EXPECT_EQ(ped.animationCount, 1);
  EXPECT_EQ(sim.PedPoolSlot(0), ped.ped);
  EXPECT_EQ(sim.PedRenderObject(ped.ped), ped.object);
  EXPECT_EQ(sim.SkinHierarchy(ped.object), ped.hierarchy);

  const SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  ASSERT_GT(h->boneCount, 20);
  ASSERT_EQ(h->boneIds.size(), static_cast<size_t>(h->boneCount));
  EXPECT_EQ(std::set<int32_t>(h->boneIds.begin(), h->boneIds.end()).size(), h->boneIds.size());
  EXPECT_EQ(sim.BoneIndex(ped.hierarchy, 32),
            std::find(ped.boneNames.begin(), ped.boneNames.end(), "B_UpperArm_Left") -
                ped.boneNames.begin());

  int triangles = 0;
  for (HostGeometry* geometry : ped.geometries) {
    const SimGeometry* g = SimHost::Sim(geometry);
    const SimSkin* skin = SimHost::Sim(g->skin);
    ASSERT_NE(skin, nullptr);
    ASSERT_EQ(g->positions.size(), static_cast<size_t>(g->vertexCount));
    ASSERT_EQ(g->texCoords.size(), static_cast<size_t>(g->vertexCount));
    ASSERT_EQ(skin->inverseBind.size(), static_cast<size_t>(h->boneCount));
    triangles += g->triangleCount;
    for (const HostTriangle& t : g->triangles) {
      for (uint16_t v : t.vertex) ASSERT_LT(v, g->vertexCount);
      ASSERT_LT(t.material, g->materials.size());
    }
    bool blended = false;
    for (size_t v = 0; v < g->positions.size(); ++v) {
      float sum = 0.0f;
      int influences = 0;
      for (size_t k = 0; k < 4; ++k) {
        float w = skin->weights[4 * v + k];
        sum += w;
        influences += w > 0.0f;
        if (w > 0.0f) {
          ASSERT_LT((skin->boneIndices[v] >> (8 * k)) & 0xFF, h->boneIds.size());
        }
      }
      ASSERT_NEAR(sum, 1.0f, 1e-5f);
      blended = blended || influences > 1;
    }
    EXPECT_TRUE(blended);
  }
  EXPECT_GT(triangles, 1000);

  // The rest pose stands 1.8 m tall with its feet at the placement.
  Vec3 lo, hi;
  Extent(ped, &lo, &hi);
  EXPECT_NEAR(lo.z, 2.0f, 1e-3f);
  EXPECT_NEAR(hi.z - lo.z, 1.8f, 1e-3f);
  EXPECT_NEAR(0.5f * (lo.x + hi.x), 12.0f, 1e-3f);
  EXPECT_NEAR(0.5f * (lo.y + hi.y), -4.0f, 1e-3f);
  // The head is near the top, and the host's bone query agrees with the bone matrices
  // (bones the skeleton lacks are answered from the model's shape).
  for (const auto& bone : SimHost::Sim(ped.ped)->queryBones) {
    int32_t index = sim.BoneIndex(ped.hierarchy, bone.first);
    if (index < 0) {
      EXPECT_TRUE(std::any_of(ped.guessedBones.begin(), ped.guessedBones.end(),
                              [&](const auto& guessed) { return guessed.first == bone.first; }));
      continue;
    }
    Vec3 p = MatrixTranslation(h->boneMatrices[static_cast<size_t>(index)]);
    EXPECT_LT(Length(p - bone.second), 1e-5f);
  }
  EXPECT_GT(sim.PedBonePosition(ped.ped, 32).z, 3.2f);  // left upper arm, over 1.2 m
}

TEST(ModelImport, AnimationPosesTheBonesAtATime) {
  SimHost sim;
  ImportedPed ped, rooted;
  std::string error;
  PedPlacement placement{{3, 4, 0}, 0.7f, PedPose::Standing, false};
  ASSERT_TRUE(ImportPedModel(sim, kModel, "", placement, ped, error)) << error;
  placement.rootMatrix = true;
  ASSERT_TRUE(ImportPedModel(sim, kModel, "", placement, rooted, error)) << error;
  const SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  auto matrices = [&] { return h->boneMatrices; };
  auto same = [](const std::vector<HostMatrix>& a, const std::vector<HostMatrix>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(HostMatrix)) == 0;
  };

  std::vector<HostMatrix> rest = matrices();
  PoseImportedPed(sim, ped, 0, 0.5);
  std::vector<HostMatrix> early = matrices();
  PoseImportedPed(sim, ped, 0, 1.5);
  std::vector<HostMatrix> late = matrices();
  EXPECT_FALSE(same(early, late));
  EXPECT_FALSE(same(rest, early));
  PoseImportedPed(sim, ped, 0, 0.5);
  EXPECT_TRUE(same(matrices(), early));
  // The animation loops over its duration.
  const NodeAnimation& animation = ped.animations[0];
  PoseImportedPed(sim, ped, 0, 0.5 + animation.duration / animation.ticksPerSecond);
  for (size_t b = 0; b < early.size(); ++b) {
    EXPECT_LT(Length(MatrixTranslation(matrices()[b]) - MatrixTranslation(early[b])), 1e-3f);
  }
  // Out-of-range animations give the rest pose.
  PoseImportedPed(sim, ped, 1, 0.5);
  EXPECT_TRUE(same(matrices(), rest));
  PoseImportedPed(sim, ped, -1, 0.5);
  EXPECT_TRUE(same(matrices(), rest));

  // The root-frame layout skins every vertex to the same world position.
  PoseImportedPed(sim, ped, 0, 1.5);
  PoseImportedPed(sim, rooted, 0, 1.5);
  const SimHierarchy* rh = SimHost::Sim(rooted.hierarchy);
  EXPECT_EQ(rh->flags & 0x4000u, 0x4000u);
  EXPECT_EQ(h->flags & 0x4000u, 0u);
  for (size_t i = 0; i < ped.geometries.size(); ++i) {
    std::vector<Vec3> a = SkinByHand(ped.geometries[i], ped.hierarchy);
    std::vector<Vec3> b = SkinByHand(rooted.geometries[i], rooted.hierarchy);
    ASSERT_EQ(a.size(), b.size());
    for (size_t v = 0; v < a.size(); ++v) ASSERT_LT(Length(a[v] - b[v]), 1e-4f);
  }
}

TEST(ModelImport, MappingFileNumbersTheJoints) {
  SimHost sim;
  ImportedPed ped;
  std::string error;
  std::string map = WriteTemp("good.map", "# BCN rig\nB_Neck 5\nB_Spine1 2 # lower back\n");
  ASSERT_TRUE(ImportPedModel(sim, kModel, map, {}, ped, error)) << error;
  const SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  for (size_t b = 0; b < ped.boneNames.size(); ++b) {
    if (ped.boneNames[b] == "B_Neck") {
      EXPECT_EQ(h->boneIds[b], 5);
    } else if (ped.boneNames[b] == "B_Spine1") {
      EXPECT_EQ(h->boneIds[b], 2);
    } else {
      EXPECT_GE(h->boneIds[b], 100) << ped.boneNames[b];  // a map names every mapped joint
    }
  }
}

TEST(ModelImport, FailuresNameTheFile) {
  const std::string badMap = WriteTemp("bad.map", "B_Neck 5\nB_Spine1 two\n");
  const std::string typoMap = WriteTemp("typo.map", "B_Neck 4\nB_Hed\x1B 5\n");
  const std::string junk = WriteTemp("junk.x", "this is not a model\n");
  const std::string lines = WriteTemp("lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\nl 2 3\n");
  const struct {
    std::string model, map, error;
  } cases[] = {
      {"/nonexistent/ped.x", "", "/nonexistent/ped.x: cannot open the model"},
      {kModel, "/nonexistent/ped.map", "/nonexistent/ped.map: cannot open the bone map"},
      {kModel, badMap, badMap + ":2: bone number 'two' is not an integer"},
      {kModel, typoMap, typoMap + ":2: the model has no joint 'B_Hed\\x1B'"},
      {junk, "", junk + ": not a model that can be read ("},
      {lines, "", lines + ": no triangles"},
  };
  for (const auto& c : cases) {
    SimHost sim;
    ImportedPed ped;
    ped.animationCount = 9;
    std::string error;
    EXPECT_FALSE(ImportPedModel(sim, c.model, c.map, {}, ped, error)) << c.model;
    EXPECT_EQ(error.substr(0, c.error.size()), c.error);
    EXPECT_TRUE(sim.pool.empty());
    EXPECT_EQ(ped.hierarchy, nullptr);
    EXPECT_EQ(ped.animationCount, 0);
  }
}

TEST(ModelImport, StaticModelBecomesOneRigidBone) {
  // A box 2 units tall along y: a y-up model, turned to stand along z.
  std::string obj = WriteTemp("box.obj",
                              "o box\n"
                              "v -0.5 0 -0.5\nv 0.5 0 -0.5\nv 0.5 0 0.5\nv -0.5 0 0.5\n"
                              "v -0.5 2 -0.5\nv 0.5 2 -0.5\nv 0.5 2 0.5\nv -0.5 2 0.5\n"
                              "f 1 2 3 4\nf 8 7 6 5\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 4 8 5 1\n");
  SimHost sim;
  ImportedPed ped;
  std::string error;
  ASSERT_TRUE(ImportPedModel(sim, obj, "", {{0, 0, 1}, 0, PedPose::Standing, false}, ped, error))
      << error;
  ASSERT_EQ(ped.geometries.size(), 1u);
  const SimGeometry* g = SimHost::Sim(ped.geometries[0]);
  const SimSkin* skin = SimHost::Sim(g->skin);
  EXPECT_EQ(g->triangleCount, 12);
  EXPECT_EQ(SimHost::Sim(ped.hierarchy)->boneCount, 1);
  for (size_t v = 0; v < g->positions.size(); ++v) {
    EXPECT_EQ(skin->weights[4 * v], 1.0f);
    EXPECT_EQ(skin->boneIndices[v], 0u);
  }
  Vec3 lo, hi;
  Extent(ped, &lo, &hi);
  EXPECT_NEAR(lo.z, 1.0f, 1e-4f);
  EXPECT_NEAR(hi.z, 2.8f, 1e-4f);
  EXPECT_NEAR(hi.x - lo.x, 0.9f, 1e-4f);  // scaled with the height
  EXPECT_NEAR(hi.y - lo.y, 0.9f, 1e-4f);
}

// Small triangles filling a box of the given size, and one sliver reaching far away.
std::string BoxCloud(const std::string& name, Vec3 size) {
  std::string obj;
  int vertices = 0;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      for (int k = 0; k < 8; ++k) {
        Vec3 p{size.x * i / 3, size.y * j / 3, size.z * k / 7};
        for (Vec3 d : {Vec3{0, 0, 0}, Vec3{1e-3f, 0, 0}, Vec3{0, 1e-3f, 0}}) {
          obj += "v " + std::to_string(p.x + d.x) + " " + std::to_string(p.y + d.y) + " " +
                 std::to_string(p.z + d.z) + "\n";
        }
        obj += "vt 0 0\nvt 1 0\nvt 0 1\nf " + std::to_string(vertices + 1) + " " +
               std::to_string(vertices + 2) + " " + std::to_string(vertices + 3) + "\n";
        vertices += 3;
      }
    }
  }
  obj += "v 0 0 0.01\nv 0.01 0 0\nv 400 -300 500\nf " + std::to_string(vertices + 1) + " " +
         std::to_string(vertices + 2) + " " + std::to_string(vertices + 3) + "\n";
  return WriteTemp(name, obj);
}

TEST(ModelImport, StandsAlongTheLongestExtentAndIgnoresAFarVertex) {
  const struct {
    const char* name;
    Vec3 size;
    Vec3 standing;  // the size standing: across, front to back, height
  } cases[] = {
      {"z-up.obj", {0.5f, 0.3f, 2.0f}, {0.45f, 0.27f, 1.8f}},
      {"y-up.obj", {0.5f, 2.0f, 0.3f}, {0.45f, 0.27f, 1.8f}},
      {"x-long.obj", {2.0f, 0.5f, 0.3f}, {0.27f, 0.45f, 1.8f}},
  };
  for (const auto& c : cases) {
    SimHost sim;
    ImportedPed ped;
    std::string error;
    ASSERT_TRUE(ImportPedModel(sim, BoxCloud(c.name, c.size), "", {}, ped, error)) << error;
    Vec3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    for (const Vec3& p : SimHost::Sim(ped.geometries[0])->positions) {
      if (Length(p) > 10.0f) continue;  // the far vertex
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    EXPECT_NEAR(hi.x - lo.x, c.standing.x, 0.01f) << c.name;
    EXPECT_NEAR(hi.y - lo.y, c.standing.y, 0.01f) << c.name;
    EXPECT_NEAR(hi.z - lo.z, c.standing.z, 0.01f) << c.name;
    EXPECT_NEAR(lo.z, 0.0f, 0.01f) << c.name;
  }
}

TEST(ModelImport, KeepsTheFourLargestInfluences) {
  // One triangle; its first corner hangs on six bones.
  std::string smd = WriteTemp("six.smd",
                              "version 1\nnodes\n0 \"root\" -1\n1 \"b1\" 0\n2 \"b2\" 0\n"
                              "3 \"b3\" 0\n4 \"b4\" 0\n5 \"b5\" 0\nend\nskeleton\ntime 0\n"
                              "0 0 0 0 0 0 0\n1 0 0 0.2 0 0 0\n2 0 0 0.4 0 0 0\n"
                              "3 0 0 0.6 0 0 0\n4 0 0 0.8 0 0 0\n5 0 0 1.0 0 0 0\nend\n"
                              "triangles\nskin.bmp\n"
                              "0 0 0 0 0 -1 0 0 0 6 0 0.05 1 0.1 2 0.15 3 0.2 4 0.25 5 0.25\n"
                              "0 1 0 0 0 -1 0 1 0 1 1 1.0\n"
                              "0 0 0 2 0 -1 0 0 1 2 2 0.5 3 0.5\nend\n");
  SimHost sim;
  ImportedPed ped;
  std::string error;
  ASSERT_TRUE(ImportPedModel(sim, smd, "", {}, ped, error)) << error;
  ASSERT_EQ(ped.geometries.size(), 1u);
  const SimSkin* skin = SimHost::Sim(SimHost::Sim(ped.geometries[0])->skin);
  int found = 0;
  for (size_t v = 0; v < skin->boneIndices.size(); ++v) {
    if (skin->weights[4 * v + 3] == 0.0f) continue;
    ++found;
    const char* names[4] = {"b4", "b5", "b3", "b2"};
    const float weights[4] = {0.25f, 0.25f, 0.2f, 0.15f};
    for (size_t k = 0; k < 4; ++k) {
      size_t bone = (skin->boneIndices[v] >> (8 * k)) & 0xFF;
      ASSERT_LT(bone, ped.boneNames.size());
      EXPECT_EQ(ped.boneNames[bone], names[k]);
      EXPECT_NEAR(skin->weights[4 * v + k], weights[k] / 0.85f, 1e-6f);
    }
  }
  EXPECT_EQ(found, 1);
}

}  // namespace
