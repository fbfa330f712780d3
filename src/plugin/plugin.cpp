// The plug-in library's static objects. They live in this one file because start-up
// depends on their order: objects of one file are constructed in the order they are
// defined and destroyed in reverse, when the library is unloaded or the process ends.
#include <windows.h>

#include "host/game/game_addresses.h"
#include "host/game/game_host.h"
#include "plugin/system_state.h"
#include "plugin/vermiltrace.h"

namespace {

// 1. The kept host addresses. The first asks for the game version, so the version is
// detected here, once, before anything else runs.
const uintptr_t g_cameraAddress = ResolveKeptAddress(game_address::kCamera);
const uintptr_t g_aimQueryAddress = ResolveKeptAddress(game_address::kAimTargetQuery);

GameHost g_host(g_cameraAddress, g_aimQueryAddress);

// 2. and 3. The state: its hash tables (bloodStates, corpseDeathTimes, the blood geometry
// cache, the hit history) and then the three empty hooks (fire, damage, render) are members
// constructed in that order. Freed last, after the shutdown has emptied it.
struct StateLifetime {
  StateLifetime() { State(); }
  ~StateLifetime() {
    delete g_state;
    g_state = nullptr;
  }
  StateLifetime(const StateLifetime&) = delete;
  StateLifetime& operator=(const StateLifetime&) = delete;
};
StateLifetime g_stateLifetime;

// 4. The plug-in: its constructor is the start-up, its destructor the shutdown.
Vermiltrace g_vermiltrace(g_host);

}  // namespace

// Everything happens in the static objects above; the entry routine does no work.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
