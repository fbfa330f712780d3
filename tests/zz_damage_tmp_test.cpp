#include <gtest/gtest.h>
#include "host/sim/procedural_ped.h"
#include "support/sim_fixture.h"
#include "core/system_state.h"
#include "wounds/wound_placement.h"
#include "wounds/blood_state.h"
class ZzSeam : public SimTest {};
TEST_F(ZzSeam, X) {
  ProceduralPed t = AddProceduralPed(sim);
  int hits = 0, n = 0;
  for (float z = 0.9f; z < 1.5f; z += 0.01f) {
    for (float x : {0.0f, 0.001f}) {
      ++n;
      bool ok = AddWound(t.ped, {x, 7.0f, z + 0.3f}, {x, -143.0f, z - 5.0f}, {0,0,0}, {0.03f,0,1,0,0}, "t", false, 0, 1);
      PedBloodState* s = FindBloodState(t.ped);
      int c = s ? s->woundCounter : 0;
      static int last = 0;
      if (c != last) ++hits; else printf("miss x=%g z=%g\n", x, z);
      last = c;
      (void)ok;
    }
  }
  printf("%d of %d\n", hits, n);
}
