#include "run_writers.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "plugin/system_state.h"
#include "png_output.h"
#include "seam_crop.h"
#include "wounds/blood_state.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kSnapshotsPerRow = 6;

std::string FileFriendly(const std::string& name) {
  std::string out;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_';
    out.push_back(plain ? c : '_');
  }
  return out.empty() ? "mesh" : out;
}

std::string MaskFileName(const PreviewPed& ped, const MaskLayer& layer) {
  auto name = ped.meshNames.find(layer.mesh);
  return FileFriendly(name != ped.meshNames.end() ? name->second : "mesh") + "-material" +
         std::to_string(layer.materialIndex) + ".png";
}

std::string Seconds(float seconds) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(seconds < 10.0f ? 1 : 0) << seconds << " s";
  return text.str();
}

// Counts one layer into summary.
void CountLayer(const MaskLayer& layer, const std::vector<uint8_t>& amounts, size_t textureBytes,
                PreviewSummary& summary) {
  ++summary.layers;
  summary.maskBytes += static_cast<int64_t>(layer.mask.tilesMade * kMaskTileBytes);
  summary.paintedTexels +=
      std::count_if(amounts.begin(), amounts.end(), [](uint8_t t) { return t > 0; });
  if (layer.texture) summary.textureBytes += static_cast<int64_t>(textureBytes);
}

}  // namespace

PreviewSummary WriteMasks(const PreviewPed& ped, bool removed, const fs::path& dir) {
  PreviewSummary summary;
  summary.memoryEvictions = State().tables.memoryEvictions;
  const int32_t height = Config().MaskSize;
  const int32_t width = 2 * height;
  const size_t texels = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (const auto& entry : State().tables.bloodStates) {
    summary.wounds += entry.second.woundCounter;
    for (const MaskLayer& layer : entry.second.layers) {
      const std::vector<uint8_t> amounts = MaskBytes(layer.mask);
      CountLayer(layer, amounts, texels * 4, summary);
      if (removed || entry.first != ped.ped) continue;
      const fs::path file = dir / MaskFileName(ped, layer);
      if (amounts.size() != texels || !WriteGreyPng(file.string(), width, height, amounts.data())) {
        throw PreviewError(file.string() + ": cannot write the mask");
      }
      ++summary.masks;
    }
  }
  return summary;
}

std::vector<SheetCell> SeamCells(const PreviewPed& ped, bool removed) {
  const PedBloodState* state = removed ? nullptr : FindBloodState(State().tables, ped.ped);
  SeamCrop crop;
  if (!state || !FindSeamCrop(Context(), state->layers, crop)) return {};
  const MaskLayer& layer = state->layers[crop.layer];
  std::ostringstream where;
  where << "masks/" << MaskFileName(ped, layer) << " at x " << crop.x << ", y " << crop.y
        << ", enlarged " << kSeamCropScale << " times: ";
  std::ostringstream margin;
  margin << "SeamMargin " << Config().SeamMargin;
  return {{crop.before, where.str() + "the texels the painter writes, as with SeamMargin 0 "
                                      "(blue: outside the texture's islands)"},
          {crop.after, "the same with " + margin.str() + ": " + std::to_string(crop.outside) +
                           " texels past the islands' edges take the blood beside them"}};
}

Image ContactSheet(const std::vector<Snapshot>& snapshots, const std::vector<std::string>& cameras,
                   const std::vector<std::string>& title, const std::vector<SheetCell>& extra) {
  std::vector<SheetCell> cells;
  size_t columns = std::min(kSnapshotsPerRow, std::max<size_t>(1, snapshots.size()));
  for (size_t block = 0; block < snapshots.size(); block += columns) {
    for (size_t c = 0; c < cameras.size(); ++c) {
      for (size_t s = block; s < block + columns; ++s) {
        if (s >= snapshots.size()) {
          cells.push_back({Image{}, ""});
          continue;
        }
        cells.push_back({snapshots[s].pictures[c], Seconds(snapshots[s].time) + ", " + cameras[c] +
                                                       ": " + snapshots[s].caption});
      }
    }
  }
  cells.insert(cells.end(), extra.begin(), extra.end());
  return ComposeContactSheet(title, cells, static_cast<int>(columns));
}

std::string SummaryJson(const PreviewSummary& s, const std::string& nothing,
                        const std::string& pose, const TexelReuse& reuse) {
  std::ostringstream json;
  json << "{\n"
       << "  \"wounds\": " << s.wounds << ",\n"
       << "  \"layers\": " << s.layers << ",\n"
       << "  \"painted_texels\": " << s.paintedTexels << ",\n"
       << "  \"mask_bytes\": " << s.maskBytes << ",\n"
       << "  \"texture_bytes\": " << s.textureBytes << ",\n"
       << "  \"reused_texels\": " << std::fixed << std::setprecision(4) << ReusedShare(reuse)
       << ",\n"
       << "  \"mirror_straddling_triangles\": " << reuse.straddling << ",\n"
       << "  \"pose\": \"" << pose << "\",\n"
       << "  \"memory_evictions\": " << s.memoryEvictions << ",\n"
       << "  \"painted\": " << (nothing.empty() ? "true" : "false") << ",\n"
       << "  \"note\": \"" << nothing << "\"\n"
       << "}\n";
  return json.str();
}
