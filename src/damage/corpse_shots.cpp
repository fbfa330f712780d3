// Placeholder until shots into corpses land.
#include "damage/corpse_shots.h"
void ShootCorpses(HostPed*, int32_t, int32_t) {}
