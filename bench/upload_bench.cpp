// Blood-mask upload against the memory-bandwidth limit: UploadLayer converts every texel
// of a layer into its pixel; a plain fill of the same number of bytes is the floor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/sim/sim_host.h"
#include "plugin/system_state.h"
#include "render/blood_pass.h"

namespace {

// Every texel painted with noise (the worst case), or a few round blots on an empty mask
// (what wounds leave).
MaskLayer MakeLayer(int32_t maskSize, bool noise) {
  const int32_t width = 2 * maskSize;
  MaskLayer layer;
  layer.texels.resize(static_cast<size_t>(width) * static_cast<size_t>(maskSize));
  uint32_t h = 12345;
  auto next = [&h] { return h = h * 1664525u + 1013904223u; };
  if (noise) {
    for (uint8_t& texel : layer.texels) texel = static_cast<uint8_t>(next() >> 24);
    return layer;
  }
  const int32_t radius = maskSize / 16;
  for (int blot = 0; blot < 12; ++blot) {
    int32_t cx = static_cast<int32_t>(next() >> 8) % width;
    int32_t cy = static_cast<int32_t>(next() >> 8) % maskSize;
    for (int32_t y = std::max(0, cy - radius); y < std::min(maskSize, cy + radius); ++y) {
      for (int32_t x = std::max(0, cx - radius); x < std::min(width, cx + radius); ++x) {
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) {
          layer.texels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                       static_cast<size_t>(x)] = static_cast<uint8_t>(96 + (next() >> 25));
        }
      }
    }
  }
  return layer;
}

void BM_UploadLayer(benchmark::State& bench) {
  const int32_t maskSize = static_cast<int32_t>(bench.range(0));
  SimHost sim;
  ResetSystemState();
  State().host = &sim;
  State().config.MaskSize = maskSize;
  sim.clock = 30000;
  MaskLayer layer = MakeLayer(maskSize, bench.range(1) != 0);
  UploadLayer(Context(), layer);  // creates the texture outside the timed loop
  if (!layer.texture) {
    bench.SkipWithError("no texture");
    return;
  }
  for (auto _ : bench) {
    UploadLayer(Context(), layer);
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) *
                          static_cast<int64_t>(layer.texels.size()) * 4);
  State().host = nullptr;
}

void BM_PlainWrite(benchmark::State& bench) {
  const size_t maskSize = static_cast<size_t>(bench.range(0));
  std::vector<uint8_t> pixels(2 * maskSize * maskSize * 4);
  uint8_t value = 0;
  for (auto _ : bench) {
    std::memset(pixels.data(), ++value, pixels.size());
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) *
                          static_cast<int64_t>(pixels.size()));
}

}  // namespace

// Second argument: 1 noise in every texel, 0 a few blots.
BENCHMARK(BM_UploadLayer)
    ->Args({256, 1})
    ->Args({1024, 1})
    ->Args({256, 0})
    ->Args({1024, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainWrite)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);
