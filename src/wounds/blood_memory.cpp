#include "wounds/blood_memory.h"

#include "core/log.h"
#include "render/wound_footprint.h"
#include "wounds/blood_state.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

uint64_t PedBytes(const PedBloodState& state) {
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

}  // namespace

uint64_t BloodMemoryBytes(const BloodTables& tables) {
  uint64_t bytes = 0;
  for (const auto& entry : tables.bloodStates) bytes += PedBytes(entry.second);
  return bytes;
}

void EnforceBloodMemory(const BloodContext& ctx, HostPed* woundedPed) {
  const float budgetMiB = ctx.config.BloodMemory;
  if (!(budgetMiB > 0.0f)) return;
  const double budget = static_cast<double>(budgetMiB) * kMiB;
  uint64_t total = BloodMemoryBytes(ctx.tables);
  while (static_cast<double>(total) > budget) {
    HostPed* chosen = LeastRecentlyHitPed(ctx, woundedPed);
    if (!chosen) return;
    if (LogEnabled()) {
      LogLine("blood memory: %.1f MiB over %.0f MiB, evicted ped %p",
              static_cast<double>(total) / kMiB, static_cast<double>(budgetMiB),
              static_cast<void*>(chosen));
    }
    total -= PedBytes(ctx.tables.bloodStates.at(chosen));
    RemovePedBlood(ctx, chosen);
  }
}
