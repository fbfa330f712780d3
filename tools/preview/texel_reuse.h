// Texture space that one wound paints in two places: texels of a ped's blood masks that
// two or more of its triangles cover, after the plug-in's mirror split has given mirrored
// triangles texture space of their own. Models that lay several parts over the same
// texels (a copied arm, a second mesh over one texture) show every wound on each.
#pragma once

#include <cstdint>

#include "host/sim/sim_host.h"

struct TexelReuse {
  int64_t covered = 0;  // mask texels some triangle covers
  int64_t shared = 0;   // of those, the ones two or more triangles cover
  // Triangles whose corners the split put in different halves: it stretches them across
  // the mask, so they are left out of the counts above and counted here.
  int64_t straddling = 0;
};

// Counts over every (mesh, material) mask of the ped, maskSize rows by twice as many
// columns, as the plug-in lays them out. A texel counts for a triangle when its centre lies
// strictly inside, so neighbours that meet at an edge share none.
TexelReuse MeasureTexelReuse(SimHost& sim, HostPed* ped, int32_t maskSize);

// shared / covered, 0 when nothing is covered.
double ReusedShare(const TexelReuse& reuse);
