// What the wound model reads and writes beyond the blood context: the scratch that posing
// a ped's meshes reuses from call to call.
#pragma once

#include <vector>

#include "blood/blood_records.h"
#include "host/host_types.h"

struct PosedMeshScratch {
  std::vector<HostMatrix> bones;  // one skinning matrix per bone
};

struct WoundContext : BloodContext {
  PosedMeshScratch& scratch;
};
