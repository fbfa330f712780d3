// Where the preview's shots aim on a ped: at the part of the mesh that a body part's bone
// moves, not at its joints, which may lie anywhere near it (a head joint at the neck, a
// neck joint a hair from the head's).
#pragma once

#include "host/sim/sim_host.h"
#include "scenario.h"

// The middle (centroid) of the ped's posed vertices whose heaviest influence is the part's
// first bone, else its second; where no vertex follows either, the place the simulated game
// gives for its first bone (guessed from the model's shape for a model without that joint).
Vec3 BodyTarget(SimHost& sim, HostPed* ped, const BodyPart& part);
