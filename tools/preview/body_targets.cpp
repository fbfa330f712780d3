#include "body_targets.h"

#include "blood/blood_records.h"
#include "core/config.h"
#include "core/random.h"
#include "wounds/posed_mesh.h"

namespace {

// The game bone that moves each vertex most, or -1.
int32_t HeaviestBone(const SimSkin& skin, const SimHierarchy& hierarchy, size_t vertex) {
  if (4 * vertex + 3 >= skin.weights.size() || vertex >= skin.boneIndices.size()) return -1;
  float heaviest = 0.0f;
  int32_t bone = -1;
  for (size_t k = 0; k < 4; ++k) {
    const float weight = skin.weights[4 * vertex + k];
    const size_t index = (skin.boneIndices[vertex] >> (8 * k)) & 0xFF;
    if (weight > heaviest && index < hierarchy.boneIds.size()) {
      heaviest = weight;
      bone = hierarchy.boneIds[index];
    }
  }
  return bone;
}

}  // namespace

Vec3 BodyTarget(SimHost& sim, HostPed* ped, const BodyPart& part) {
  // Posed as the plug-in poses it, with a context of its own: no plug-in state is touched.
  BloodConfig config;
  RandomGenerator rng;
  BloodTables tables;
  PosedMeshScratch scratch;
  const WoundContext ctx{{sim, config, rng, tables, 0.0f}, scratch};
  PosedMeshSnapshot snapshot;
  HostHierarchy* hierarchy = sim.SkinHierarchy(sim.PedRenderObject(ped));
  if (hierarchy && TakePosedMeshSnapshot(ctx, ped, snapshot)) {
    const SimHierarchy& h = *SimHost::Sim(hierarchy);
    for (int32_t bone : part.bones) {
      Vec3 sum{0, 0, 0};
      size_t count = 0;
      for (size_t m = 0; m < snapshot.meshes.size(); ++m) {
        const SimGeometry* geometry = SimHost::Sim(sim.MeshGeometry(snapshot.meshes[m]));
        if (!geometry || !geometry->skin) continue;
        const SimSkin& skin = *SimHost::Sim(geometry->skin);
        const std::vector<Vec3>& posed = snapshot.positions[m];
        for (size_t v = 0; v < posed.size(); ++v) {
          if (HeaviestBone(skin, h, v) == bone) sum = sum + posed[v], ++count;
        }
      }
      if (count > 0) return sum * (1.0f / static_cast<float>(count));
    }
  }
  return sim.PedBonePosition(ped, part.bones[0]);
}
