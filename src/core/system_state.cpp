#include "core/system_state.h"

namespace {

// The per-address tables start with 8 buckets and a maximum load factor of 1.0.
template <typename Table>
void Shape(Table& table) {
  table.max_load_factor(1.0f);
  table.rehash(8);
}

}  // namespace

SystemState::SystemState() {
  Shape(bloodStates);
  Shape(corpseDeathTimes);
  Shape(bloodGeometryCache);
  Shape(hitHistory);
}

SystemState* g_state = nullptr;

SystemState& CreateSystemState() {
  if (!g_state) g_state = new SystemState();
  return *g_state;
}

void ResetSystemState() {
  delete g_state;
  g_state = new SystemState();
}
