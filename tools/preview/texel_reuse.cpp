#include "texel_reuse.h"

#include <vector>

#include "render/blood_geometry.h"
#include "render/object_meshes.h"
#include "render/texel_triangle.h"

namespace {

// A split coordinate moved into the right half lies half the mask past half its own u.
constexpr float kHalfSplit = 0.25f;

// True when the mirror split put the triangle's corners in different halves (its u moved
// by half the mask for some and not for others).
bool Straddles(const GeometryView& source, const GeometryView& split, const HostTriangle& t) {
  int right = 0;
  for (uint16_t v : t.vertex) {
    right += split.texCoords[v].u - 0.5f * source.texCoords[v].u > kHalfSplit;
  }
  return right % 3 != 0;
}

// Marks the texels of one material's triangles: per texel the triangles seen (at most two
// are told apart) and the last one, so a triangle wrapping onto itself counts once.
void CountMaterial(const GeometryView& source, const GeometryView& view, uint16_t material,
                   int32_t columns, int32_t rows, TexelReuse& reuse) {
  const size_t cells = static_cast<size_t>(columns) * static_cast<size_t>(rows);
  std::vector<uint8_t> seen(cells, 0);
  std::vector<int32_t> last(cells, -1);
  const size_t vertices = static_cast<size_t>(view.vertexCount);
  for (int32_t i = 0; i < view.triangleCount; ++i) {
    const HostTriangle& t = view.triangles[i];
    if (t.material != material || t.vertex[0] >= vertices || t.vertex[1] >= vertices ||
        t.vertex[2] >= vertices) {
      continue;
    }
    if (Straddles(source, view, t)) {
      ++reuse.straddling;
      continue;
    }
    const TexCoord uv[3] = {view.texCoords[t.vertex[0]], view.texCoords[t.vertex[1]],
                            view.texCoords[t.vertex[2]]};
    TexelTriangle texels;
    if (!MapTexelTriangle(uv, columns, rows, texels)) continue;
    for (int32_t y = texels.beginY; y <= texels.endY; ++y) {
      for (int32_t x = texels.beginX; x <= texels.endX; ++x) {
        float w0, w1, w2;
        WeighTexel(texels, static_cast<float>(x), static_cast<float>(y), w0, w1, w2);
        if (!(w0 > 0.0f && w1 > 0.0f && w2 > 0.0f)) continue;
        const size_t cell = static_cast<size_t>(WrapTexel(y, rows)) * static_cast<size_t>(columns) +
                            static_cast<size_t>(WrapTexel(x, columns));
        if (last[cell] == i) continue;
        last[cell] = i;
        if (seen[cell] < 2) ++seen[cell];
      }
    }
  }
  for (uint8_t count : seen) {
    reuse.covered += count > 0;
    reuse.shared += count > 1;
  }
}

}  // namespace

TexelReuse MeasureTexelReuse(SimHost& sim, HostPed* ped, int32_t maskSize) {
  TexelReuse reuse;
  std::vector<HostMesh*> meshes;
  CollectMeshes(sim, sim.PedRenderObject(ped), meshes);
  for (HostMesh* mesh : meshes) {
    HostGeometry* source = sim.MeshGeometry(mesh);
    HostGeometry* copy =
        source ? CopyBloodGeometry(sim, source, sim.GeometrySkin(source)) : nullptr;
    if (!copy) continue;
    const GeometryView from = sim.GetGeometry(source);
    const GeometryView view = sim.GetGeometry(copy);
    for (int32_t m = 0; m < view.materialCount; ++m) {
      CountMaterial(from, view, static_cast<uint16_t>(m), 2 * maskSize, maskSize, reuse);
    }
  }
  return reuse;
}

double ReusedShare(const TexelReuse& reuse) {
  return reuse.covered > 0 ? static_cast<double>(reuse.shared) / static_cast<double>(reuse.covered)
                           : 0.0;
}
