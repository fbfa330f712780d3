// Small hand-made skinned worlds for the wound tests: flat grids of triangles skinned to
// one identity bone, so posed positions equal bind positions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/log.h"
#include "host/sim/sim_host.h"
#include "host/sim/sim_math.h"
#include "support/layer_fixture.h"

// A grid of columns x rows cells, two triangles each: vertex (i, j) sits at
// origin + du * i / columns + dv * j / rows with texture coordinates interpolated from
// uv0 to uv1 likewise. By default a half-metre square upright in the plane y = 0, facing
// -y, about a texel per 4 mm across and 8 mm up at MaskSize 64.
struct GridSpec {
  Vec3 origin{-0.25f, 0.0f, 0.75f};
  Vec3 du{0.5f, 0.0f, 0.0f};
  Vec3 dv{0.0f, 0.0f, 0.5f};
  int columns = 8;
  int rows = 8;
  TexCoord uv0{0.0f, 0.0f};
  TexCoord uv1{1.0f, 1.0f};
  uint16_t material = 0;
};

// A fully bleeding wound of that radius a quarter of the way along two edges of a
// triangle of the snapshot's mesh.
inline Wound WoundOn(HostGame& host, const PosedMeshSnapshot& snapshot, size_t mesh,
                     int32_t triangle, float radius) {
  Wound wound{};
  wound.mesh = snapshot.meshes[mesh];
  wound.geometry = host.MeshGeometry(wound.mesh);
  wound.triangle = triangle;
  wound.u = wound.v = 0.25f;
  wound.radius = radius;
  wound.bleed = 1.0f;
  return wound;
}

class WoundTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    config.MaskSize = 64;
    OpenLog();
  }

  HostHierarchy* AddBones(int count) {
    HostHierarchy* hierarchy = sim.AddHierarchy();
    SimHierarchy* h = SimHost::Sim(hierarchy);
    h->boneCount = count;
    h->boneMatrices.assign(static_cast<size_t>(count), IdentityMatrix());
    return hierarchy;
  }

  HostGeometry* AddGrid(const GridSpec& shape) {
    HostGeometry* geometry = sim.AddGeometry();
    SimGeometry* g = SimHost::Sim(geometry);
    const int stride = shape.columns + 1;
    for (int j = 0; j <= shape.rows; ++j) {
      for (int i = 0; i <= shape.columns; ++i) {
        const float a = static_cast<float>(i) / static_cast<float>(shape.columns);
        const float b = static_cast<float>(j) / static_cast<float>(shape.rows);
        g->positions.push_back(shape.origin + shape.du * a + shape.dv * b);
        g->texCoords.push_back({shape.uv0.u + (shape.uv1.u - shape.uv0.u) * a,
                                shape.uv0.v + (shape.uv1.v - shape.uv0.v) * b});
      }
    }
    for (int j = 0; j < shape.rows; ++j) {
      for (int i = 0; i < shape.columns; ++i) {
        const auto at = [&](int di, int dj) {
          return static_cast<uint16_t>((j + dj) * stride + i + di);
        };
        g->triangles.push_back({{at(0, 0), at(1, 0), at(0, 1)}, shape.material});
        g->triangles.push_back({{at(1, 0), at(1, 1), at(0, 1)}, shape.material});
      }
    }
    g->vertexCount = static_cast<int32_t>(g->positions.size());
    g->triangleCount = static_cast<int32_t>(g->triangles.size());
    for (int m = 0; m <= shape.material; ++m) g->materials.push_back(sim.AddMaterial());
    HostSkin* skin = sim.AddSkin();
    SimSkin* s = SimHost::Sim(skin);
    for (int32_t v = 0; v < g->vertexCount; ++v) {
      s->weights.insert(s->weights.end(), {1.0f, 0.0f, 0.0f, 0.0f});
      s->boneIndices.push_back(0);
    }
    s->inverseBind.push_back(IdentityMatrix());
    g->skin = skin;
    return geometry;
  }

  // A ped whose render object holds one mesh per geometry, on a one-bone hierarchy.
  HostPed* AddPedWith(std::initializer_list<HostGeometry*> geometries) {
    HostRenderObject* object = sim.AddRenderObject(AddBones(1));
    for (HostGeometry* geometry : geometries) sim.AddMesh(object, geometry);
    return sim.AddPed({0, 0, 0}, object);
  }

  std::vector<HostMesh*>& MeshesOf(HostPed* ped) {
    return SimHost::Sim(SimHost::Sim(ped)->renderObject)->meshes;
  }

  // A texture made the way the blood pass makes one, counted by the host.
  HostTexture* MakeTexture() { return Host().CreateTexture(Host().CreateSurface(8, 4, 32, 0)); }
};
