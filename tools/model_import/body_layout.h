// Where the game's bones would sit on a character that has no usable joints, guessed from
// its shape: the model stands upright facing +y (z up, +x its right side, feet on z = 0),
// so the head is near the top, the chest and stomach below it, the arms the parts that
// reach out to the sides at shoulder height, the legs the two halves below the hips.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "host/host_types.h"

// Every game bone the preview and the plug-in use (1-5, 21-24, 31-34, 41-43, 51-53) with
// its guessed place among points (the model's vertices in model space). Empty when the
// points have no height.
std::vector<std::pair<int32_t, Vec3>> GuessBodyLayout(const std::vector<Vec3>& points);
