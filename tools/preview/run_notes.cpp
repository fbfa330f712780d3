#include "run_notes.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <sstream>

#include "ped_renderer.h"

namespace {

// Above this share of texture space painted for two places, the run warns.
constexpr double kReuseWarning = 0.03;
constexpr double kPercent = 100.0;

}  // namespace

std::string MissingBonesNote(SimHost& sim, const PreviewPed& ped) {
  static const int32_t kUsed[] = {1,  2,  3,  4,  5,  21, 22, 23, 24, 31,
                                  32, 33, 34, 41, 42, 43, 51, 52, 53};
  std::string missing;
  size_t count = 0;
  for (int32_t bone : kUsed) {
    Vec3 ignored;
    if (!FindBone(sim, ped.ped, bone, &ignored)) {
      missing += (missing.empty() ? "" : ", ") + std::to_string(bone);
      ++count;
    }
  }
  if (count == std::size(kUsed)) {
    return "no usable joints: its hits are placed by height and side on the upright model "
           "(head near the top, chest, arms to the sides, knees, feet)";
  }
  if (missing.empty()) return "";
  return "no joints for the game's bones " + missing +
         " (map them with --bones; until then those hits are placed by height and side)";
}

std::string NothingPaintedReason(const PreviewSummary& summary, const Scenario& scenario) {
  if (summary.paintedTexels > 0) return "";
  const bool hits =
      std::any_of(scenario.events.begin(), scenario.events.end(), [](const ScenarioEvent& e) {
        return e.kind == EventKind::Shot || e.kind == EventKind::Melee ||
               e.kind == EventKind::Explosion || e.kind == EventKind::Fall;
      });
  if (!hits) return "nothing was painted: the scenario has no shot, melee, explosion or fall";
  if (summary.memoryEvictions > 0) {
    return "nothing was painted: BloodMemory evicted the ped's blood to stay within its "
           "budget (see Vermiltrace.log)";
  }
  if (summary.wounds == 0)
    return "nothing was painted: no hit found the ped's mesh (see Vermiltrace.log)";
  return "nothing was painted: the wounds left no blood in the masks (see Vermiltrace.log)";
}

std::string ReuseNote(const TexelReuse& reuse) {
  const double share = ReusedShare(reuse);
  if (share <= kReuseWarning) return "";
  std::ostringstream note;
  note << std::lround(share * kPercent)
       << " % of its blood masks' texels lie under two or more triangles: blood will show in "
          "more than one place";
  return note.str();
}
