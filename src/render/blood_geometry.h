// BloodGeometry: a texture-space copy of a skinned host geometry whose mirrored
// triangles get texture space of their own (the mirror-split remap: every u is halved,
// and vertices that belong mostly to triangles of negative signed texture area move into
// the right half). One copy per source geometry, shared by every ped that uses it, in
// the tables' bloodGeometryCache.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "host/host_types.h"

// The copy for geometry: the cached one while the source's vertex count, triangle count
// and skin record are unchanged, else a new one (cached, logged "blood geometry for ...").
// Null when no copy can be made, logged "blood geometry copy FAILED" on every attempt,
// the cache untouched. Superseded copies are kept: a render pass may still draw them.
HostGeometry* GetBloodGeometry(const BloodContext& ctx, HostGeometry* geometry);

// A new host geometry copying src (positions, normals, bounds, colours, materials in
// index order, triangles whole), with mirror-split texture coordinates, skin attached and
// finished by the host. Null without a log line when src lacks texture coordinates,
// triangles, vertex data or positions, when skin is null, when a count is negative, or
// when the host constructor fails. Triangles whose vertex indices reach past the vertex
// count are copied but give no vertex a side.
HostGeometry* CopyBloodGeometry(HostGame& host, HostGeometry* src, HostSkin* skin);
