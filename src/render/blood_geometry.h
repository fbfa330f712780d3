// BloodGeometry: a texture-space copy of a skinned host geometry whose mirrored
// triangles get texture space of their own (the mirror-split remap), cached per source.
#pragma once

#include <cstdint>

#include "host/host_types.h"

struct BloodGeometryEntry {
  HostGeometry* copy;  // owned by the cache (kept for the life of the process)
  int32_t vertexCount;
  int32_t triangleCount;
  HostSkin* skin;
};

// The copy for geometry, made or renewed when the source changed; null when no copy can
// be made (logged on every attempt).
HostGeometry* GetBloodGeometry(HostGeometry* geometry);
// A new copy of src with skin attached, or null.
HostGeometry* CopyBloodGeometry(HostGeometry* src, HostSkin* skin);
