// The one-line notes a run gives in its progress, its contact sheet's title and its
// summary: what the model lacks, what its texture space does, why nothing was painted.
#pragma once

#include <string>

#include "host/sim/sim_host.h"
#include "preview_ped.h"
#include "preview_run.h"
#include "scenario.h"
#include "texel_reuse.h"

// The game bones the system aims at or wounds that the ped's skeleton lacks, said in one
// line; empty when it has them all.
std::string MissingBonesNote(SimHost& sim, const PreviewPed& ped);

// Why a run painted no blood, for its summary; empty when it painted some.
std::string NothingPaintedReason(const PreviewSummary& summary, const Scenario& scenario);

// The warning for a model whose texture space one wound paints in several places; empty
// when little of it is.
std::string ReuseNote(const TexelReuse& reuse);
