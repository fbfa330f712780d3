// LayerTest: the libraries below the plug-in, tested without its process-wide state. The
// test owns what the plug-in's state would (a SimHost, the settings, the generator, the
// shared tables and each layer's own state) and builds the context of every call from
// them, as the plug-in's handlers do. The plug-in directory is a fresh temporary one, so
// a test that opens the log finds it there.
#pragma once

#include "blood/blood_records.h"
#include "core/config.h"
#include "core/random.h"
#include "damage/damage_context.h"
#include "host/sim/sim_host.h"
#include "render/blood_pass.h"
#include "support/sim_fixture.h"
#include "wounds/wound_context.h"

class LayerTest : public FolderTest {
 protected:
  // The context of a call at the simulator's clock. It serves every layer: a
  // DamageContext is a WoundContext is a BloodContext.
  DamageContext Context() {
    return {{{sim, config, rng, tables, static_cast<float>(sim.ClockMs()) / 1000.0f}, scratch},
            hits};
  }
  HostGame& Host() { return sim; }

  SimHost sim;
  BloodConfig config;
  RandomGenerator rng;
  BloodTables tables;
  HitHistory hits;           // damage's
  BloodPassState pass;       // render's
  PosedMeshScratch scratch;  // the wound model's
};
