#include "wounds/posed_mesh.h"

#include <algorithm>
#include <cstring>

#include "render/object_meshes.h"

namespace {

// Host convention: a·b applies a first, then b; the fourth column is 0.
void MultiplyInto(const HostMatrix& a, const HostMatrix& b, HostMatrix& r) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
    r.m[i][3] = 0.0f;
  }
  for (int j = 0; j < 3; ++j) r.m[3][j] += b.m[3][j];
}

}  // namespace

bool TakePosedMeshSnapshot(const WoundContext& ctx, HostPed* ped, PosedMeshSnapshot& snapshot) {
  HostGame& host = ctx.host;
  HostRenderObject* object = host.PedRenderObject(ped);
  if (!object) return false;
  HostHierarchy* hierarchy = host.SkinHierarchy(object);
  if (!hierarchy) return false;
  std::vector<HostMesh*> meshes;
  CollectMeshes(host, object, meshes);
  snapshot.meshes = std::move(meshes);
  snapshot.positions.resize(snapshot.meshes.size());
  bool ok = false;
  for (size_t i = 0; i < snapshot.meshes.size(); ++i) {
    ok = SkinMeshVertices(ctx, snapshot.meshes[i], hierarchy, snapshot.positions[i]) || ok;
  }
  return ok;
}

bool SkinMeshVertices(const WoundContext& ctx, HostMesh* mesh, HostHierarchy* hierarchy,
                      std::vector<Vec3>& out) {
  HostGame& host = ctx.host;
  HostGeometry* geometry = host.MeshGeometry(mesh);
  if (!geometry || !hierarchy) return false;
  HostSkin* skin = host.GeometrySkin(geometry);
  if (!skin) return false;
  HierarchyView bones = host.GetHierarchy(hierarchy);
  if (!bones.boneMatrices) return false;
  GeometryView view = host.GetGeometry(geometry);
  if (!view.hasVertexData || !view.positions || view.vertexCount < 0) return false;

  SkinView skinning = host.GetSkin(skin);
  // A negative bone count leaves no bone any influence can name.
  int32_t n = std::max(bones.boneCount, 0);
  if ((n > 0 && !skinning.inverseBind) ||
      (view.vertexCount > 0 && (!skinning.weights || !skinning.boneIndices))) {
    return false;
  }

  std::vector<HostMatrix>& scratch = ctx.scratch.bones;
  scratch.resize(static_cast<size_t>(n));
  const HostMatrix* root = nullptr;
  if ((bones.flags & 0x4000u) && bones.root) root = host.FrameMatrix(bones.root);
  HostMatrix combined;
  for (int32_t b = 0; b < n; ++b) {
    if (root) {
      MultiplyInto(skinning.inverseBind[b], bones.boneMatrices[b], combined);
      MultiplyInto(combined, *root, scratch[static_cast<size_t>(b)]);
    } else {
      MultiplyInto(skinning.inverseBind[b], bones.boneMatrices[b], scratch[static_cast<size_t>(b)]);
    }
  }

  const size_t count = static_cast<size_t>(view.vertexCount);
  out.resize(count);
  const Vec3* bind = view.positions;
  const float* weights = skinning.weights;
  const uint32_t* indices = skinning.boneIndices;
  const HostMatrix* matrices = scratch.data();
  for (size_t v = 0; v < count; ++v) {
    const Vec3 p = bind[v];
    const uint32_t packed = indices[v];
    float rx = 0.0f, ry = 0.0f, rz = 0.0f;
    for (int k = 0; k < 4; ++k) {
      const float w = weights[v * 4 + static_cast<size_t>(k)];
      const int32_t j = static_cast<int32_t>((packed >> (8 * k)) & 0xFFu);
      if (!(w > 0.0f) || j >= n) continue;
      const float(*m)[4] = matrices[j].m;
      rx += w * (p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0]);
      ry += w * (p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1]);
      rz += w * (p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]);
    }
    out[v] = {rx, ry, rz};
  }
  return true;
}

namespace {

bool SamePositions(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0);
}

}  // namespace

uint32_t NotePose(const BloodContext& ctx, PedBloodState& state,
                  const PosedMeshSnapshot& snapshot) {
  if (ctx.config.FollowPose == 0) return 0;
  LastPose& pose = state.pose;
  bool same = pose.meshes == snapshot.meshes && pose.positions.size() == snapshot.positions.size();
  pose.geometries.resize(snapshot.meshes.size());
  for (size_t k = 0; k < snapshot.meshes.size(); ++k) {
    HostGeometry* geometry = ctx.host.MeshGeometry(snapshot.meshes[k]);
    same = same && pose.geometries[k] == geometry;
    pose.geometries[k] = geometry;
  }
  for (size_t k = 0; same && k < snapshot.positions.size(); ++k) {
    same = SamePositions(pose.positions[k], snapshot.positions[k]);
  }
  if (!same) {
    pose.meshes = snapshot.meshes;
    pose.positions = snapshot.positions;
    ++pose.version;
  }
  return pose.version;
}
