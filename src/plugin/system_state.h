// All process-wide state of the plug-in, in one place. Members are constructed in the
// order start-up depends on and destroyed in reverse; ResetSystemState gives tests a
// fresh process. The handlers build each computation's context from it.
#pragma once

#include <memory>
#include <vector>

#include "blood/blood_records.h"
#include "core/config.h"
#include "core/random.h"
#include "damage/damage_context.h"
#include "host/host_game.h"
#include "render/blood_pass.h"
#include "wounds/wound_context.h"

struct SystemState {
  HostGame* host = nullptr;
  BloodConfig config;
  RandomGenerator rng;
  BloodTables tables;
  // Each layer's own state. The hit history's table is shaped right after the shared
  // ones, in the order the tables have always been made.
  HitHistory hits;
  BloodPassState pass;
  PosedMeshScratch scratch;

  // Inline hooks, in their construction order (destroyed render, damage, fire).
  std::unique_ptr<HostHook> fireHook;
  std::unique_ptr<HostHook> damageHook;
  std::unique_ptr<HostHook> renderHook;

  // Event subscriptions in subscription order (destroyed in reverse).
  std::vector<std::unique_ptr<HostPatch>> events;
};

// Made on first use, so static initialisers of any translation unit may reach it.
extern SystemState* g_state;
SystemState& CreateSystemState();

inline SystemState& State() { return g_state ? *g_state : CreateSystemState(); }
inline HostGame& Host() { return *State().host; }
inline const BloodConfig& Config() { return State().config; }
inline float NowSeconds() { return static_cast<float>(Host().ClockMs()) / 1000.0f; }
// The context of one call from the host: the clock is read once, when it comes in. It
// serves every layer below (a DamageContext is a WoundContext is a BloodContext).
inline DamageContext Context() {
  SystemState& state = State();
  return {{{*state.host, state.config, state.rng, state.tables, NowSeconds()}, state.scratch},
          state.hits};
}

// Replaces the whole state, the log and the plug-in paths with fresh ones, as at process
// start (tests and tools only: the old state's host objects are not released).
void ResetSystemState();
