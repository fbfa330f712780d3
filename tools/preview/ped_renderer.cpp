#include "ped_renderer.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "damage/aim_rays.h"
#include "plugin/system_state.h"
#include "robust_range.h"
#include "wounds/posed_mesh.h"

namespace {

constexpr Rgba kBackground{0.16f, 0.17f, 0.19f, 1.0f};
constexpr float kMargin = 0.06f;  // of the picture, around the ped

Vec3 Normalised(Vec3 v, Vec3 fallback) {
  float length = Length(v);
  return length > 1e-6f && std::isfinite(length) ? v * (1.0f / length) : fallback;
}

struct PosedMesh {
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;  // smooth: the area-weighted face normals around each vertex
};

void SmoothNormals(const SimGeometry& geometry, PosedMesh& posed) {
  const size_t count = posed.positions.size();
  posed.normals.assign(count, Vec3{0, 0, 0});
  for (const HostTriangle& t : geometry.triangles) {
    if (t.vertex[0] >= count || t.vertex[1] >= count || t.vertex[2] >= count) continue;
    Vec3 a = posed.positions[t.vertex[0]];
    Vec3 n = Cross(posed.positions[t.vertex[1]] - a, posed.positions[t.vertex[2]] - a);
    for (uint16_t i : t.vertex) posed.normals[i] = posed.normals[i] + n;
  }
  for (Vec3& n : posed.normals) n = Normalised(n, Vec3{0, 0, 1});
}

// The host's colour word is the game's RGBA record: red, green, blue, alpha in memory order.
Rgba ColourWord(uint32_t word) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(word >> (8 * i));
  return {bytes[0] / 255.0f, bytes[1] / 255.0f, bytes[2] / 255.0f, bytes[3] / 255.0f};
}

TextureView ViewOf(HostTexture* texture) {
  TextureView view;
  SimSurface* surface = texture ? SimHost::Sim(texture)->surface : nullptr;
  if (!surface || surface->pixels.empty()) return view;
  size_t needed = static_cast<size_t>(std::max(0, surface->stride)) *
                  static_cast<size_t>(std::max(0, surface->height));
  if (surface->stride < 4 * surface->width || surface->pixels.size() < needed) return view;
  view.pixels = surface->pixels.data();
  view.width = surface->width;
  view.height = surface->height;
  view.stride = surface->stride;
  return view;
}

}  // namespace

bool FindBone(SimHost& sim, HostPed* ped, int32_t bone, Vec3* position) {
  HostHierarchy* hierarchy = ped ? sim.SkinHierarchy(sim.PedRenderObject(ped)) : nullptr;
  if (!hierarchy || sim.BoneIndex(hierarchy, bone) < 0) return false;
  *position = GetBonePosition(Host(), ped, bone);
  return true;
}

BodyFrame PedBodyFrame(SimHost& sim, HostPed* ped) {
  BodyFrame frame{{0, 0, 1}, {0, 1, 0}, {1, 0, 0}};
  const SimEntity* entity = ped ? SimHost::Sim(ped) : nullptr;
  if (entity && entity->hasMatrix) {
    const HostMatrix& m = entity->matrix;
    frame.right = Normalised({m.m[0][0], m.m[0][1], m.m[0][2]}, frame.right);
    frame.front = Normalised({m.m[1][0], m.m[1][1], m.m[1][2]}, frame.front);
    frame.up = Normalised({m.m[2][0], m.m[2][1], m.m[2][2]}, frame.up);
  }
  Vec3 top, bottom, right, left;
  bool found =
      (FindBone(sim, ped, 5, &top) || FindBone(sim, ped, 4, &top) || FindBone(sim, ped, 3, &top)) &&
      (FindBone(sim, ped, 1, &bottom) || FindBone(sim, ped, 2, &bottom)) &&
      FindBone(sim, ped, 22, &right) && FindBone(sim, ped, 32, &left);
  if (!found) return frame;
  Vec3 up = top - bottom;
  Vec3 across = right - left;
  if (!(Length(up) > 0.05f)) return frame;
  up = Normalised(up, frame.up);
  across = across - up * Dot(across, up);
  if (!(Length(across) > 0.02f)) return frame;
  Vec3 side = Normalised(across, frame.right);
  return {up, Cross(up, side), side};
}

const std::vector<std::string>& CameraNames() {
  static const std::vector<std::string> names = {"front", "back",  "left",
                                                 "right", "above", "below"};
  return names;
}

bool NamedCamera(const std::string& name, const BodyFrame& f, Camera* camera) {
  Vec3 zero{0, 0, 0};
  const struct {
    const char* name;
    Vec3 direction, up;
  } views[] = {
      {"front", zero - f.front, f.up}, {"back", f.front, f.up},         {"left", f.right, f.up},
      {"right", zero - f.right, f.up}, {"above", zero - f.up, f.front}, {"below", f.up, f.front},
  };
  for (const auto& view : views) {
    if (name == view.name) {
      *camera = {name, view.direction, view.up};
      return true;
    }
  }
  return false;
}

Canvas RenderPed(SimHost& sim, HostPed* ped, const std::vector<SimDraw>& draws,
                 const Camera& camera, int width, int height) {
  Canvas canvas = MakeCanvas(width, height, kBackground);
  HostHierarchy* hierarchy = sim.SkinHierarchy(sim.PedRenderObject(ped));

  std::unordered_map<HostMesh*, PosedMesh> posed;
  for (const SimDraw& draw : draws) {
    if (posed.count(draw.mesh)) continue;
    PosedMesh& mesh = posed[draw.mesh];
    HostGeometry* own = sim.MeshGeometry(draw.mesh);
    if (own && SkinMeshVertices(Context(), draw.mesh, hierarchy, mesh.positions)) {
      SmoothNormals(*SimHost::Sim(own), mesh);
    }
  }

  const Vec3 dir = Normalised(camera.direction, Vec3{0, -1, 0});
  const Vec3 up = Normalised(camera.up - dir * Dot(camera.up, dir), Vec3{0, 0, 1});
  const Vec3 right = Cross(dir, up);
  // Framed on the ped's body: a stray far vertex (or one skinned to a far joint) falls
  // outside the picture instead of shrinking the ped to a dot.
  std::vector<float> xs, ys;
  for (const auto& entry : posed) {
    for (const Vec3& p : entry.second.positions) {
      xs.push_back(Dot(p, right));
      ys.push_back(Dot(p, up));
    }
  }
  float minX, maxX, minY, maxY;
  if (!RobustRange(std::move(xs), &minX, &maxX) || !RobustRange(std::move(ys), &minY, &maxY)) {
    return canvas;
  }
  float usableW = width * (1.0f - 2 * kMargin), usableH = height * (1.0f - 2 * kMargin);
  float scale =
      std::min(usableW / std::max(maxX - minX, 1e-3f), usableH / std::max(maxY - minY, 1e-3f));
  float offsetX = (width - (maxX - minX) * scale) * 0.5f;
  float offsetY = (height - (maxY - minY) * scale) * 0.5f;

  for (const SimDraw& draw : draws) {
    auto found = posed.find(draw.mesh);
    if (!draw.geometry || found == posed.end()) continue;
    const PosedMesh& mesh = found->second;
    const SimGeometry& geometry = *SimHost::Sim(draw.geometry);
    const size_t count = mesh.positions.size();
    if (count == 0 || geometry.texCoords.size() < count ||
        static_cast<size_t>(std::max(0, geometry.vertexCount)) != count) {
      continue;
    }
    const bool bloodPass = draw.geometry != sim.MeshGeometry(draw.mesh);

    std::vector<RasterVertex> vertices(count);
    for (size_t i = 0; i < count; ++i) {
      const Vec3& p = mesh.positions[i];
      float facing = std::fabs(Dot(mesh.normals[i], dir));
      vertices[i] = {(Dot(p, right) - minX) * scale + offsetX,
                     (maxY - Dot(p, up)) * scale + offsetY,
                     Dot(p, dir),
                     geometry.texCoords[i].u,
                     geometry.texCoords[i].v,
                     0.38f + 0.62f * facing};
    }
    for (const HostTriangle& t : geometry.triangles) {
      if (t.vertex[0] >= count || t.vertex[1] >= count || t.vertex[2] >= count) continue;
      RasterState state;
      state.blend = bloodPass;
      state.depthWrite = !bloodPass;
      if (t.material < draw.textures.size()) {
        state.texture = ViewOf(draw.textures[t.material]);
        state.tint = ColourWord(draw.colours[t.material]);
      }
      RasterVertex triangle[3] = {vertices[t.vertex[0]], vertices[t.vertex[1]],
                                  vertices[t.vertex[2]]};
      DrawTriangle(canvas, triangle, state);
    }
  }
  return canvas;
}
