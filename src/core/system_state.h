// All process-wide state of the system, in one place. Members are constructed in the
// order start-up depends on and destroyed in reverse; ResetSystemState gives tests a
// fresh process.
#pragma once

#include <cstdio>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/config.h"
#include "core/ped_hash.h"
#include "core/random.h"
#include "damage/hit_history.h"
#include "host/host_game.h"
#include "render/blood_geometry.h"
#include "wounds/blood_state.h"

// Plug-in path store: three 261-byte buffers, filled once on first use.
struct PluginPaths {
  bool filled = false;
  char directory[261] = {};
  char fileName[261] = {};
  char composed[261] = {};
};

template <typename Key, typename Value>
using AddressTable = std::unordered_map<Key*, Value, AddressHash>;

struct SystemState {
  SystemState();

  HostGame* host = nullptr;
  BloodConfig config;
  PluginPaths paths;
  FILE* log = nullptr;  // never closed by the system
  RandomGenerator rng;

  // Hash tables, in their construction order.
  AddressTable<HostPed, PedBloodState> bloodStates;
  AddressTable<HostPed, float> corpseDeathTimes;
  AddressTable<HostGeometry, BloodGeometryEntry> bloodGeometryCache;
  AddressTable<HostPed, HitRecord> hitHistory;

  // Inline hooks, in their construction order (destroyed render, damage, fire).
  std::unique_ptr<HostHook> fireHook;
  std::unique_ptr<HostHook> damageHook;
  std::unique_ptr<HostHook> renderHook;

  // Event subscriptions in subscription order (destroyed in reverse).
  std::vector<std::unique_ptr<HostPatch>> events;

  bool playerWasDead = false;

  // Scratch reused across calls.
  std::vector<HostMatrix> boneScratch;
  std::vector<HostTexture*> savedTextures;
  std::vector<uint32_t> savedColours;
  HostTexture* blankTexture = nullptr;  // never destroyed
  bool firstPassLogged = false;
  bool lockFailureLogged = false;
};

// Made on first use, so static initialisers of any translation unit may reach it.
extern SystemState* g_state;
SystemState& CreateSystemState();

// The state every function works on.
inline SystemState& State() { return g_state ? *g_state : CreateSystemState(); }
inline HostGame& Host() { return *State().host; }
inline const BloodConfig& Config() { return State().config; }
inline float NowSeconds() { return static_cast<float>(Host().ClockMs()) / 1000.0f; }
inline float Draw() { return NextRandom(State().rng); }

// Replaces the whole state with a fresh one, as at process start (tests only: the old
// state's host objects are not released).
void ResetSystemState();
