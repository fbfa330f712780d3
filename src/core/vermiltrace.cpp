// Placeholder until start-up lands.
#include "core/vermiltrace.h"
Vermiltrace::Vermiltrace(HostGame&) {}
Vermiltrace::~Vermiltrace() {}
void DamageThunk(HostDamage*, HostEntity*, uint32_t, uint32_t) {}
uint8_t FireThunk(HostWeapon*, const FireArgs&) { return 0; }
void PedRenderDetour(HostPed*) {}
