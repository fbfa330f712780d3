// Blood-mask upload against the memory-bandwidth limit: UploadLayer converts every texel
// of a layer into its pixel, or only those of the rectangle a wound repainted; a plain
// write of the same bytes is the floor.
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
  ResetMask(layer.mask, width, maskSize);
  uint32_t h = 12345;
  auto next = [&h] { return h = h * 1664525u + 1013904223u; };
  if (noise) {
    for (int32_t y = 0; y < maskSize; ++y) {
      for (int32_t x = 0; x < width; ++x)
        SetMaskAt(layer.mask, x, y, static_cast<uint8_t>(next() >> 24));
    }
    return layer;
  }
  const int32_t radius = maskSize / 16;
  for (int blot = 0; blot < 12; ++blot) {
    int32_t cx = static_cast<int32_t>(next() >> 8) % width;
    int32_t cy = static_cast<int32_t>(next() >> 8) % maskSize;
    for (int32_t y = std::max(0, cy - radius); y < std::min(maskSize, cy + radius); ++y) {
      for (int32_t x = std::max(0, cx - radius); x < std::min(width, cx + radius); ++x) {
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) {
          SetMaskAt(layer.mask, x, y, static_cast<uint8_t>(96 + (next() >> 25)));
        }
      }
    }
  }
  return layer;
}

// A fresh process on sim at 30 s with masks of maskSize.
void StartProcess(SimHost& sim, int32_t maskSize) {
  ResetSystemState();
  State().host = &sim;
  State().config.MaskSize = maskSize;
  sim.clock = 30000;
}

void BM_UploadLayer(benchmark::State& bench) {
  const int32_t maskSize = static_cast<int32_t>(bench.range(0));
  SimHost sim;
  StartProcess(sim, maskSize);
  MaskLayer layer = MakeLayer(maskSize, bench.range(1) != 0);
  UploadLayer(Context(), State().pass, layer);  // creates the texture outside the timed loop
  if (!layer.texture) {
    bench.SkipWithError("no texture");
    return;
  }
  for (auto _ : bench) {
    UploadLayer(Context(), State().pass, layer);
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) *
                          static_cast<int64_t>(layer.mask.width) * layer.mask.height * 4);
  State().host = nullptr;
}

// A new wound's square of side texels, a third of the way into the mask: a round blot.
TexelRect PaintBlot(MaskLayer& layer, int32_t maskSize, int32_t side) {
  const int32_t width = 2 * maskSize;
  const TexelRect rect{width / 3, maskSize / 3, width / 3 + side, maskSize / 3 + side};
  const int32_t r = side / 2;
  for (int32_t y = rect.y0; y < rect.y1; ++y) {
    for (int32_t x = rect.x0; x < rect.x1; ++x) {
      const int32_t dx = x - rect.x0 - r, dy = y - rect.y0 - r;
      if (dx * dx + dy * dy < r * r) {
        SetMaskAt(layer.mask, x, y, static_cast<uint8_t>(255 - (dx * dx + dy * dy) % 97));
      }
    }
  }
  return rect;
}

void BM_UploadRect(benchmark::State& bench) {
  const int32_t maskSize = static_cast<int32_t>(bench.range(0));
  const int32_t side = static_cast<int32_t>(bench.range(1));
  SimHost sim;
  StartProcess(sim, maskSize);
  MaskLayer layer = MakeLayer(maskSize, false);
  layer.lastPaint = 30.0f;
  UploadLayer(Context(), State().pass, layer);
  const TexelRect rect = PaintBlot(layer, maskSize, side);
  if (!layer.texture) {
    bench.SkipWithError("no texture");
    return;
  }
  for (auto _ : bench) {
    layer.dirty = true;
    layer.changed = rect;
    UploadLayer(Context(), State().pass, layer);
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) * side * side * 4);
  State().host = nullptr;
}

// The rectangle's pixels copied row by row into a texture-sized buffer.
void BM_PlainWriteRect(benchmark::State& bench) {
  const size_t maskSize = static_cast<size_t>(bench.range(0));
  const size_t side = static_cast<size_t>(bench.range(1));
  const size_t stride = 2 * maskSize * 4 + 16;  // the simulator's row padding
  std::vector<uint8_t> pixels(stride * maskSize);
  std::vector<uint8_t> source(side * side * 4, 0x5A);
  const size_t x0 = 2 * maskSize / 3, y0 = maskSize / 3;
  for (auto _ : bench) {
    for (size_t y = 0; y < side; ++y) {
      std::memcpy(pixels.data() + (y0 + y) * stride + 4 * x0, source.data() + y * side * 4,
                  side * 4);
    }
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations()) *
                          static_cast<int64_t>(side * side * 4));
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
// Arguments: MaskSize, side of the repainted square in texels.
BENCHMARK(BM_UploadRect)->Args({256, 16})->Args({1024, 64})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainWriteRect)->Args({256, 16})->Args({1024, 64})->Unit(benchmark::kMicrosecond);
