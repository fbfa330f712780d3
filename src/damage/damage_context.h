// What the damage intake reads and writes beyond the wound model's context: the peds'
// hit history.
#pragma once

#include "damage/hit_history.h"
#include "wounds/wound_context.h"

struct DamageContext : WoundContext {
  HitHistory& hits;
};
