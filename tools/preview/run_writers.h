// What a run writes from the system's state at its end: the masks, the contact sheet's
// cells, the summary.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "contact_sheet.h"
#include "preview_ped.h"
#include "preview_run.h"
#include "scenario_player.h"
#include "texel_reuse.h"

// The masks of the ped's layers as grey PNG files in dir (none once the ped was
// removed), and the run's counts of every ped's blood.
PreviewSummary WriteMasks(const PreviewPed& ped, bool removed, const std::filesystem::path& dir);

// The seam margin's close-up of the ped's masks as two cells, before and after; none when
// the margin put no blood outside the texture's islands.
std::vector<SheetCell> SeamCells(const PreviewPed& ped, bool removed);

// The snapshots' pictures, a row of them per camera, under the title lines, then the
// extra cells on a row of their own.
Image ContactSheet(const std::vector<Snapshot>& snapshots, const std::vector<std::string>& cameras,
                   const std::vector<std::string>& title, const std::vector<SheetCell>& extra);

// summary.json: the counts, the texture reuse, the pose and why nothing was painted.
std::string SummaryJson(const PreviewSummary& s, const std::string& nothing,
                        const std::string& pose, const TexelReuse& reuse);
