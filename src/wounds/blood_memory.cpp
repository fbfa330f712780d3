#include "wounds/blood_memory.h"

#include <algorithm>
#include <vector>

#include "core/log.h"
#include "render/blood_geometry.h"
#include "render/wound_footprint.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// The source geometries some ped still paints or draws through, sorted.
std::vector<HostGeometry*> ReferencedGeometries(const BloodTables& tables) {
  std::vector<HostGeometry*> referenced;
  for (const auto& entry : tables.bloodStates) {
    for (const MaskLayer& layer : entry.second.layers) referenced.push_back(layer.geometry);
    for (const Wound& wound : entry.second.wounds) referenced.push_back(wound.geometry);
  }
  std::sort(referenced.begin(), referenced.end());
  return referenced;
}

// The cached geometry used longest ago that neither a ped nor a draw of this frame uses
// (first in table order on ties), or null.
HostGeometry* LeastRecentlyUsedGeometry(const BloodContext& ctx,
                                        const std::vector<HostGeometry*>& referenced) {
  HostGeometry* chosen = nullptr;
  float oldest = 0.0f;
  for (const auto& entry : ctx.tables.bloodGeometryCache) {
    const float lastUse = entry.second.lastUse;
    if (!(lastUse < ctx.now) ||
        std::binary_search(referenced.begin(), referenced.end(), entry.first)) {
      continue;
    }
    if (!chosen || lastUse < oldest) {
      chosen = entry.first;
      oldest = lastUse;
    }
  }
  return chosen;
}

}  // namespace

uint64_t PedBloodBytes(const PedBloodState& state) {
  uint64_t bytes = 0;
  for (const MaskLayer& layer : state.layers) {
    const BloodMask& mask = layer.mask;
    bytes += 4 * static_cast<uint64_t>(mask.width) * static_cast<uint64_t>(mask.height) +
             static_cast<uint64_t>(mask.tilesMade) * kMaskTileBytes;
  }
  for (const Wound& wound : state.wounds) {
    if (wound.footprint) bytes += FootprintBytes(*wound.footprint);
  }
  return bytes;
}

uint64_t BloodMemoryBytes(const BloodTables& tables) {
  uint64_t bytes = 0;
  for (const auto& entry : tables.bloodStates) bytes += PedBloodBytes(entry.second);
  for (const auto& entry : tables.bloodGeometryCache) bytes += BloodGeometryBytes(entry.second);
  for (const RetiredGeometry& retired : tables.retiredGeometries) bytes += retired.copyBytes;
  return bytes;
}

void EnforceBloodMemory(const BloodContext& ctx, HostPed* woundedPed, const PedEviction& eviction) {
  ReleaseRetiredGeometries(ctx);
  const float budgetMiB = ctx.config.BloodMemory;
  if (!(budgetMiB > 0.0f)) return;
  const double budget = static_cast<double>(budgetMiB) * kMiB;
  uint64_t total = BloodMemoryBytes(ctx.tables);
  std::vector<HostGeometry*> referenced;
  bool referencesKnown = false;
  while (static_cast<double>(total) > budget) {
    // A copy is cheaper to make again than blood is to lose.
    if (!referencesKnown) referenced = ReferencedGeometries(ctx.tables);
    referencesKnown = true;
    if (HostGeometry* unused = LeastRecentlyUsedGeometry(ctx, referenced)) {
      total -= DropBloodGeometry(ctx, unused);
      continue;
    }
    HostPed* chosen = eviction.choose(ctx, woundedPed);
    if (!chosen) return;
    if (LogEnabled()) {
      LogLine("blood memory: %.1f MiB over %.0f MiB, evicted ped %p",
              static_cast<double>(total) / kMiB, static_cast<double>(budgetMiB),
              static_cast<void*>(chosen));
    }
    total -= PedBloodBytes(ctx.tables.bloodStates.at(chosen));
    eviction.remove(ctx, chosen);
    ++ctx.tables.memoryEvictions;
    referencesKnown = false;  // its geometries may be free now
  }
}
