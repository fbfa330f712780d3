// The fights of fight_scenarios.h as a plain program, for the 32-bit Windows build (no
// benchmark library there): one line of counters per setting, as the native benchmarks
// print them. With --quick only the first setting runs; with a mask size, budget and
// FollowPose (as in "1024 1 0") only that setting's two fights.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fight_scenarios.h"

namespace {

void Print(const char* name, const FightSettings& s, const FightFigures& f) {
  std::printf(
      "%s/mask:%d/moving:%d/budget_ms:%g/follow_pose:%d  frame_avg_ms=%.3f frame_worst_ms=%.3f "
      "frame_worst_no_new_texture_ms=%.3f repaint_interval_ms=%.1f since_paint_ms=%.1f "
      "mib_per_ped=%.3f hash=%08x%s\n",
      name, s.maskSize, s.moving ? 1 : 0, static_cast<double>(s.budgetMs), s.followPose,
      f.frameAvgMs, f.frameWorstMs, f.frameWorstWithoutNewTextureMs, f.repaintIntervalMs,
      f.sinceLastPaintMs, f.mibPerPed, f.maskHash, f.valid ? "" : " (a shot missed)");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const bool one = argc == 4;
  const int32_t onlyMask = one ? std::atoi(argv[1]) : 0, onlyFollow = one ? std::atoi(argv[3]) : 0;
  const float onlyBudget = one ? static_cast<float>(std::atof(argv[2])) : 0.0f;
  bool valid = true;
  for (int32_t mask : {256, 1024}) {
    for (float budget : {0.0f, 1.0f}) {
      for (int32_t follow : {0, 1}) {
        if (one && (mask != onlyMask || budget != onlyBudget || follow != onlyFollow)) continue;
        FightSettings s;
        s.maskSize = mask;
        s.moving = true;
        s.budgetMs = budget;
        s.followPose = follow;
        const FightFigures fight = RunRealisticFight(s);
        Print("RealisticFight", s, fight);
        valid = valid && fight.valid;
        if (quick) return valid ? 0 : 1;
        const FightFigures crowd = RunStressCrowd(s);
        Print("SteadyCrowd", s, crowd);
        valid = valid && crowd.valid;
      }
    }
  }
  return valid ? 0 : 1;
}
