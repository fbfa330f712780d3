// Two fights at 60 fps on the simulated host, timed frame by frame in thread CPU time:
// the stress crowd (32 peds with 24 flowing wounds each, repaints staggered as in a long
// fight) and a realistic fight (8 peds arriving one by one, a hit every quarter second
// inside the frame, every ped re-posed every frame). Plain functions, so that the native
// benchmarks and the 32-bit Windows harness report the same figures.
#pragma once

#include <cstdint>

struct FightSettings {
  int32_t maskSize = 256;
  bool drips = true;
  bool moving = false;      // re-posed every frame (the realistic fight always is)
  float budgetMs = 0.0f;    // PaintBudget
  int32_t followPose = 1;   // FollowPose
  bool shippedIni = false;  // the shipped ini's settings under the ones above
  bool warm = true;         // the crowd's wounds repainted since they were made, as in a long fight
};

struct FightFigures {
  bool valid = false;  // false when a shot missed
  double frameAvgMs = 0.0, frameWorstMs = 0.0;
  // The worst frame in which the host made no texture: making one is a single call into the
  // host that no budget can split, and the simulated host fills every new one (at MaskSize
  // 1024, 8 MiB of fresh memory).
  double frameWorstWithoutNewTextureMs = 0.0;
  // Median time between two paintings of a wound, and since each wound's last painting at
  // the end; -1 where the build does not record when wounds are painted.
  double repaintIntervalMs = -1.0, sinceLastPaintMs = -1.0;
  double layersPerPed = 0.0, mibPerPed = 0.0;
  uint32_t maskHash = 0;  // FNV-1a of every mask byte, ped by ped, layer by layer
};

// The stress crowd: 32 peds, 24 wounds each aged evenly over FlowTime, one second of fight.
FightFigures RunStressCrowd(const FightSettings& settings);

// The realistic fight: ten seconds, peds re-posed every frame.
FightFigures RunRealisticFight(const FightSettings& settings);
