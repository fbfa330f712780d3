#include "render/blood_pass.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/log.h"
#include "render/blood_geometry.h"
#include "render/object_meshes.h"

namespace {

constexpr int32_t kSurfaceDepth = 32;
constexpr uint32_t kSurfaceFlags = 0x504;
// Write without fetching the pixels: for uploads that rewrite the whole texture.
constexpr int32_t kLockMode = 5;
// Read and write: the pixels come back as the last upload left them, so a partial
// upload keeps the rest of the texture.
constexpr int32_t kLockKeepMode = 3;
constexpr uint32_t kBloodSampling = 0x1102;
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;
constexpr int32_t kBlankSize = 4;
// Triangles name materials with 16 bits, so no draw can use a material beyond these; a
// larger count is host garbage and must not size the scratch arrays.
constexpr int32_t kMaxMaterials = 65536;

// NaN-safe on purpose: a NaN ends up at lo.
float Clamp(float value, float lo, float hi) { return value > lo ? (value < hi ? value : hi) : lo; }

// Rows of rowBytes fit the stride without spilling into the next row, and the stride is
// one a driver could report: no row padded by more than its own length and a page, so a
// garbage stride cannot send the writes far past the surface (or wrap a 32-bit size_t).
bool UsableStride(int32_t stride, size_t rowBytes) {
  return stride >= 0 && static_cast<size_t>(stride) >= rowBytes &&
         static_cast<size_t>(stride) <= 2 * rowBytes + 4096;
}

// Keeps, in order, the layers whose mesh is still drawn with the layer's geometry.
void PruneLayers(HostGame& host, std::vector<MaskLayer>& layers,
                 const std::vector<HostMesh*>& meshes) {
  size_t kept = 0;
  for (size_t i = 0; i < layers.size(); ++i) {
    MaskLayer& layer = layers[i];
    bool drawn = std::find(meshes.begin(), meshes.end(), layer.mesh) != meshes.end() &&
                 host.MeshGeometry(layer.mesh) == layer.geometry;
    if (!drawn) {
      ReleaseLayerTexture(host, layer);
      continue;
    }
    if (kept != i) layers[kept] = std::move(layer);
    ++kept;
  }
  layers.erase(layers.begin() + static_cast<std::ptrdiff_t>(kept), layers.end());
}

// Blood colour of a layer painted at lastPaint: fresh blood drying towards DriedColor.
void DryingColour(const BloodContext& ctx, float lastPaint, float out[3]) {
  const BloodConfig& config = ctx.config;
  float t = Clamp((ctx.now - lastPaint) / config.DryTime, 0.0f, 1.0f);
  for (int c = 0; c < 3; ++c) {
    out[c] = config.BloodColor[c] + (config.DriedColor[c] - config.BloodColor[c]) * t;
  }
}

// The pixel of every amount byte, in memory order blue, green, red, alpha. Exact: each
// entry is the per-texel formula for its amount.
void BuildPixelTable(const float base[3], uint32_t table[256]) {
  for (int amount = 0; amount < 256; ++amount) {
    float a = static_cast<float>(amount) / 255.0f;
    float k = 1.2f - 0.5f * a;  // denser blood is darker
    float r = Clamp(base[0] * k, 0.0f, 1.0f);
    float g = Clamp(base[1] * k, 0.0f, 1.0f);
    float b = Clamp(base[2] * k, 0.0f, 1.0f);
    float s = Clamp((a - 0.35f) / 0.2f, 0.0f, 1.0f);
    float alpha = 0.93f * (s * s) * (3.0f - 2.0f * s);
    uint8_t bytes[4] = {static_cast<uint8_t>(b * 255.0f), static_cast<uint8_t>(g * 255.0f),
                        static_cast<uint8_t>(r * 255.0f), static_cast<uint8_t>(alpha * 255.0f)};
    std::memcpy(&table[amount], bytes, 4);
  }
}

bool SameColour(const float a[3], const float b[3]) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// The pixel table of a colour, built only when the colour differs from the last one.
const uint32_t* PixelTableOf(BloodPassState& pass, const float colour[3]) {
  PixelTable& cached = pass.pixelTable;
  if (!cached.built || !SameColour(cached.colour, colour)) {
    BuildPixelTable(colour, cached.pixels);
    std::copy(colour, colour + 3, cached.colour);
    cached.built = true;
  }
  return cached.pixels;
}

// Whether the texture's pixels would come out different in this colour. Colours close
// together often give the same bytes, which saves converting the whole texture again.
bool ColourMoved(BloodPassState& pass, const MaskLayer& layer, const float colour[3]) {
  if (SameColour(layer.uploadColour, colour)) return false;
  uint32_t before[256];
  BuildPixelTable(layer.uploadColour, before);
  return std::memcmp(before, PixelTableOf(pass, colour), sizeof(before)) != 0;
}

// Masks are mostly empty: runs of sixteen empty texels are tested at once and written as
// one block, emptyRun (sixteen copies of table[0]).
void ConvertRow(const uint8_t* amounts, size_t count, const uint32_t table[256],
                const uint32_t emptyRun[16], uint8_t* out) {
  size_t x = 0;
  for (; x + 16 <= count; x += 16) {
    uint64_t low, high;
    std::memcpy(&low, amounts + x, 8);
    std::memcpy(&high, amounts + x + 8, 8);
    if ((low | high) == 0) {
      std::memcpy(out + 4 * x, emptyRun, 64);
      continue;
    }
    // Two pixels a store, their amounts taken from the words already loaded (pixels are
    // stored little-endian, as on every target).
    for (int k = 0; k < 8; k += 2) {
      const uint64_t pair = table[(low >> (8 * k)) & 0xFF] |
                            static_cast<uint64_t>(table[(low >> (8 * k + 8)) & 0xFF]) << 32;
      std::memcpy(out + 4 * (x + static_cast<size_t>(k)), &pair, 8);
    }
    for (int k = 0; k < 8; k += 2) {
      const uint64_t pair = table[(high >> (8 * k)) & 0xFF] |
                            static_cast<uint64_t>(table[(high >> (8 * k + 8)) & 0xFF]) << 32;
      std::memcpy(out + 4 * (x + 8 + static_cast<size_t>(k)), &pair, 8);
    }
  }
  for (; x < count; ++x) std::memcpy(out + 4 * x, &table[amounts[x]], 4);
}

void FillEmpty(size_t count, const uint32_t emptyRun[16], uint8_t* out) {
  for (; count >= 16; count -= 16, out += 64) std::memcpy(out, emptyRun, 64);
  std::memcpy(out, emptyRun, 4 * count);
}

// The texels an upload converts: the rectangle painted since the last upload when the
// texture already shows the layer's colour, else all of them (also when the painter
// left no rectangle).
TexelRect UploadRect(BloodPassState& pass, const MaskLayer& layer, bool created,
                     const float colour[3], int32_t width, int32_t height) {
  const TexelRect whole{0, 0, width, height};
  if (created || !layer.dirty || ColourMoved(pass, layer, colour)) return whole;
  const TexelRect& c = layer.changed;
  TexelRect rect{std::max(c.x0, 0), std::max(c.y0, 0), std::min(c.x1, width),
                 std::min(c.y1, height)};
  return IsEmpty(rect) ? whole : rect;
}

// A new blood texture, or null (logged) when the host cannot make one.
HostTexture* CreateBloodTexture(HostGame& host, int32_t width, int32_t height) {
  HostSurface* surface = host.CreateSurface(width, height, kSurfaceDepth, kSurfaceFlags);
  if (!surface) {
    LogLine("render: blood texture creation FAILED");
    return nullptr;
  }
  HostTexture* texture = host.CreateTexture(surface);
  if (!texture) {
    host.DestroySurface(surface);
    LogLine("render: blood texture creation FAILED");
    return nullptr;
  }
  host.SetTextureSampling(texture, kBloodSampling);
  return texture;
}

void LogLockFailureOnce(BloodPassState& pass) {
  if (pass.lockFailureLogged) return;
  pass.lockFailureLogged = true;
  LogLine("render: blood texture lock FAILED");
}

const MaskLayer* FindLayer(const std::vector<MaskLayer>& layers, HostMesh* mesh,
                           int32_t materialIndex) {
  for (const MaskLayer& layer : layers) {
    if (layer.mesh == mesh && layer.materialIndex == materialIndex) return &layer;
  }
  return nullptr;
}

bool HasTexturedLayer(const std::vector<MaskLayer>& layers, HostMesh* mesh) {
  for (const MaskLayer& layer : layers) {
    if (layer.mesh == mesh && layer.texture) return true;
  }
  return false;
}

// Draws one mesh again as its BloodGeometry with the layers' textures in its materials.
void DrawMeshBlood(const BloodContext& ctx, BloodPassState& pass,
                   const std::vector<MaskLayer>& layers, HostMesh* mesh) {
  HostGame& host = ctx.host;
  HostGeometry* geometry = host.MeshGeometry(mesh);
  GeometryView view = host.GetGeometry(geometry);
  int32_t count = view.materials ? std::min(std::max(view.materialCount, 0), kMaxMaterials) : 0;
  size_t n = static_cast<size_t>(count);

  std::vector<HostTexture*>& savedTextures = pass.savedTextures;
  std::vector<uint32_t>& savedColours = pass.savedColours;
  savedTextures.resize(n);
  savedColours.resize(n);
  for (size_t i = 0; i < n; ++i) {
    HostMaterial* material = view.materials[i];
    savedTextures[i] = host.MaterialTexture(material);
    savedColours[i] = host.MaterialColour(material);
    const MaskLayer* layer = FindLayer(layers, mesh, static_cast<int32_t>(i));
    HostTexture* texture = layer && layer->texture ? layer->texture : BlankTexture(ctx, pass);
    host.SetMaterialTexture(material, texture);
    host.SetMaterialColour(material, kOpaqueWhite);
  }

  if (HostGeometry* blood = GetBloodGeometry(ctx, geometry)) {
    host.SetMeshGeometry(mesh, blood);
    host.CallMeshRenderCallback(mesh);
    host.SetMeshGeometry(mesh, geometry);
  }

  for (size_t i = 0; i < n; ++i) {
    HostMaterial* material = view.materials[i];
    host.SetMaterialTexture(material, savedTextures[i]);
    host.SetMaterialColour(material, savedColours[i]);
  }

  if (!pass.firstPassLogged) {
    pass.firstPassLogged = true;
    LogLine("render: first blood pass through the ped pipeline (%d materials)", count);
  }
}

}  // namespace

HostTexture* BlankTexture(const BloodContext& ctx, BloodPassState& pass) {
  if (pass.blankTexture) return pass.blankTexture;
  HostGame& host = ctx.host;
  HostSurface* surface = host.CreateSurface(kBlankSize, kBlankSize, kSurfaceDepth, kSurfaceFlags);
  if (!surface) return nullptr;
  if (uint8_t* pixels = host.LockSurface(surface, 0, kLockMode)) {
    int32_t stride = host.SurfaceStride(surface);
    if (UsableStride(stride, kBlankSize * 4)) {
      for (int32_t row = 0; row < kBlankSize; ++row) {
        std::memset(pixels + static_cast<size_t>(row) * static_cast<size_t>(stride), 0,
                    kBlankSize * 4);
      }
    }
    host.UnlockSurface(surface);
  }
  pass.blankTexture = host.CreateTexture(surface);
  // The texture did not take the surface, so it is ours to free before the next attempt.
  if (!pass.blankTexture) host.DestroySurface(surface);
  return pass.blankTexture;
}

void UploadLayer(const BloodContext& ctx, BloodPassState& pass, MaskLayer& layer) {
  HostGame& host = ctx.host;
  const int32_t height = ctx.config.MaskSize;
  const int32_t width = 2 * height;

  const bool created = !layer.texture;
  if (created) {
    layer.texture = CreateBloodTexture(host, width, height);
    if (!layer.texture) return;
  }

  float colour[3];
  DryingColour(ctx, layer.lastPaint, colour);
  const TexelRect rect = UploadRect(pass, layer, created, colour, width, height);
  const bool whole = rect.x0 == 0 && rect.y0 == 0 && rect.x1 == width && rect.y1 == height;

  HostSurface* surface = host.TextureSurface(layer.texture);
  uint8_t* pixels =
      surface ? host.LockSurface(surface, 0, whole ? kLockMode : kLockKeepMode) : nullptr;
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  int32_t stride = pixels ? host.SurfaceStride(surface) : 0;
  if (!pixels || !UsableStride(stride, rowBytes)) {
    if (pixels) host.UnlockSurface(surface);
    LogLockFailureOnce(pass);
    // A new texture never filled would show its unset pixels; the next render makes another.
    if (created) ReleaseLayerTexture(host, layer);
    return;
  }

  const uint32_t* table = PixelTableOf(pass, colour);
  uint32_t emptyRun[16];
  std::fill(emptyRun, emptyRun + 16, table[0]);
  for (int32_t y = rect.y0; y < rect.y1; ++y) {
    uint8_t* out = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride) +
                   4 * static_cast<size_t>(rect.x0);
    // Piece by piece along the tiles the row crosses; a tile not made is all empty, and
    // a tile's row not written since the last upload is already on the texture.
    for (int32_t x = rect.x0; x < rect.x1;) {
      const int32_t end = std::min(rect.x1, ((x >> kMaskTileShift) + 1) << kMaskTileShift);
      const size_t count = static_cast<size_t>(end - x);
      const int32_t tileX = x >> kMaskTileShift, tileY = y >> kMaskTileShift;
      if (whole || RowWritten(layer.mask, tileX, y)) {
        const uint8_t* tile = MaskTile(layer.mask, tileX, tileY);
        if (tile) {
          ConvertRow(tile + TexelInTile(x, y), count, table, emptyRun, out);
        } else {
          FillEmpty(count, emptyRun, out);
        }
      }
      out += 4 * count;
      x = end;
    }
  }

  host.UnlockSurface(surface);
  layer.dirty = false;
  layer.changed = TexelRect{};
  ClearTilesWritten(layer.mask);
  std::copy(colour, colour + 3, layer.uploadColour);
  layer.lastUpload = ctx.now;
}

void ReleaseLayerTexture(HostGame& host, MaskLayer& layer) {
  if (layer.texture) host.ReleaseTexture(layer.texture);
  layer.texture = nullptr;
}

void DrawBloodPass(const BloodContext& ctx, BloodPassState& pass, HostPed* ped) {
  auto found = ctx.tables.bloodStates.find(ped);
  if (found == ctx.tables.bloodStates.end()) return;
  PedBloodState* state = &found->second;
  HostGame& host = ctx.host;

  std::vector<HostMesh*> meshes;
  if (HostRenderObject* object = host.PedRenderObject(ped)) CollectMeshes(host, object, meshes);

  PruneLayers(host, state->layers, meshes);

  // The drying refresh converts whole textures: one per ped and a few per frame, so that a
  // crowd's refreshes falling due together do not stall one frame; the others wait their
  // turn.
  if (pass.dryingFrame != ctx.now) {
    pass.dryingFrame = ctx.now;
    pass.dryingRefreshes = 0;
  }
  bool refreshed = pass.dryingRefreshes >= kDryingRefreshesPerFrame;
  // Under a paint budget a ped's new textures, which the host makes and the first upload
  // fills whole, are made one a pass.
  const bool oneNewTexture = ctx.config.PaintBudget > 0.0f;
  bool made = false;
  for (MaskLayer& layer : state->layers) {
    if (layer.dirty) {
      if (!layer.texture && oneNewTexture && made) continue;
      made = made || !layer.texture;
      UploadLayer(ctx, pass, layer);
      continue;
    }
    // A painting that raised no texel still made the layer's blood fresh again: a texture
    // that shows it dried is converted now, not at its drying refresh.
    const bool repainted = layer.lastPaint > layer.lastUpload;
    if (!repainted && !(ctx.now - layer.lastUpload > kUploadInterval)) continue;
    float colour[3];
    DryingColour(ctx, layer.lastPaint, colour);
    if (layer.texture && !ColourMoved(pass, layer, colour)) {
      if (!repainted) layer.lastUpload = ctx.now;  // the pixels already show this colour
    } else if (repainted) {
      UploadLayer(ctx, pass, layer);
    } else if (!refreshed) {
      UploadLayer(ctx, pass, layer);
      refreshed = true;
      ++pass.dryingRefreshes;
    }
  }

  for (HostMesh* mesh : meshes) {
    if (!HasTexturedLayer(state->layers, mesh) || !host.MeshHasRenderCallback(mesh)) continue;
    DrawMeshBlood(ctx, pass, state->layers, mesh);
  }
}
