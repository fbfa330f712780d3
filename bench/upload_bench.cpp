// Blood-mask upload against the memory-bandwidth limit: UploadLayer converts every texel
// of a layer into its pixel; a plain fill of the same number of bytes is the floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/system_state.h"
#include "host/sim_host.h"
#include "render/blood_pass.h"

namespace {

MaskLayer MakeLayer(int32_t maskSize) {
  MaskLayer layer;
  layer.texels.resize(static_cast<size_t>(2 * maskSize) * static_cast<size_t>(maskSize));
  uint32_t h = 12345;
  for (uint8_t& texel : layer.texels) {
    h = h * 1664525u + 1013904223u;
    texel = static_cast<uint8_t>(h >> 24);
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
  MaskLayer layer = MakeLayer(maskSize);
  UploadLayer(layer);  // creates the texture outside the timed loop
  if (!layer.texture) {
    bench.SkipWithError("no texture");
    return;
  }
  for (auto _ : bench) {
    UploadLayer(layer);
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

BENCHMARK(BM_UploadLayer)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainWrite)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);
