// Per-ped blood state: the tables bloodStates and corpseDeathTimes, the flowing wounds,
// and the per-frame time rules that run over them. Everything runs on the host's game
// thread.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "host/host_types.h"
#include "wounds/blood_memory.h"
#include "wounds/wound_context.h"

// Per-frame callback: records first-seen death times of the pool's peds (forgets revived
// ones), refreshes flowing wounds, and drops the player's blood once the player is alive
// again after dying.
void UpdateBloodFrame(const WoundContext& ctx);

// Repaints the flowing wounds of every due ped (nextRefreshTime <= now) at their age,
// clamped to FlowTime, then drops wounds painted at FlowTime or whose mesh left the ped. A
// ped that cannot be snapshot keeps its wounds and is tried again kRefreshInterval later.
// With a PaintBudget, due peds are repainted oldest due first, wound by wound, while the
// texels the wounds' last paintings visited fit the budget at a fixed rate per millisecond
// (at least one wound per call); the rest wait for a later frame, a ped cut short going
// on where it stopped. The same fight paints the same blood whatever the machine.
void RefreshBloodStates(const WoundContext& ctx);

// Bleed strength of a new wound, in [0, 1] for loss >= 0: B(loss) with
// B(x) = (e^-3x - e^-3) / (1 - e^-3) below 1 and 0 from 1 on (and for NaN); a dead ped
// also fades by B(seconds since death / CorpseBleedTime).
float ComputeBleed(const BloodContext& ctx, HostPed* ped, float loss);

// Adds increment to state.bloodLoss. The loss is also counted exactly, in whole units of
// every cap's share (1 / MaxBulletWounds, 1 / MaxExplosionWounds, 1 / MaxFallWounds; other
// increments to the nearest unit), and that count decides bleeding out: bloodLoss becomes
// at least 1 when the count reaches 1, and a sum rounded up to 1 before that stays just
// below 1. bloodLoss never decreases. Caps whose common multiple exceeds 2^62 leave the
// float sum alone.
void AddBloodLoss(const BloodConfig& config, PedBloodState& state, float increment);

// Drops one ped's state, releasing each layer's texture once. No-op without state.
void RemovePedBlood(const BloodContext& ctx, HostPed* ped);

// EnforceBloodMemory (blood_memory.h) with this state's eviction: the least recently hit
// ped (unsigned lastHitClock, first in table order on ties) other than the player,
// woundedPed and peds hit within kFreshHitMs.
void EnforceBloodMemory(const BloodContext& ctx, HostPed* woundedPed);

// With more than MaxBloodyPeds states, removes the one hit least recently (unsigned
// lastHitClock, first in table order on ties), never the player's or woundedPed's.
void EvictLeastRecentlyHit(const BloodContext& ctx, HostPed* woundedPed);
// The ped EvictLeastRecentlyHit would remove (ignoring the cap), or null. With
// spareFreshHits, peds hit within kFreshHitMs of the clock are passed over as well.
HostPed* LeastRecentlyHitPed(const BloodContext& ctx, HostPed* woundedPed, bool spareFreshHits);

// At a game reset: releases every layer texture and every blood geometry copy, and
// empties bloodStates, corpseDeathTimes and the geometry cache (hit history and
// playerWasDead stay).
void ResetAllBlood(const BloodContext& ctx);

// Find-or-create (a new state is zero-filled, then EvictLeastRecentlyHit(ped) runs) and
// find (null when absent). References stay valid until the state is removed.
PedBloodState& FindOrCreateBloodState(const BloodContext& ctx, HostPed* ped);
PedBloodState* FindBloodState(BloodTables& tables, HostPed* ped);
