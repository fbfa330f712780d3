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
// the cache untouched. Marks the copy used now. A superseded copy is destroyed, or
// retired until the clock moves on when it was used now (a render pass may still draw it).
HostGeometry* GetBloodGeometry(const BloodContext& ctx, HostGeometry* geometry);

// Bytes an entry holds: the copy's arrays and its coverages.
uint64_t BloodGeometryBytes(const BloodGeometryEntry& entry);

// Destroys the retired copies not used now; returns the bytes they held.
uint64_t ReleaseRetiredGeometries(const BloodContext& ctx);

// Drops the entry of the source geometry, destroying its copy; returns the bytes it held
// (0 without an entry). The caller makes sure no draw of this frame uses it.
uint64_t DropBloodGeometry(const BloodContext& ctx, HostGeometry* geometry);

// Destroys every copy, retired ones included, and empties the cache.
void ReleaseAllBloodGeometry(const BloodContext& ctx);

// A new host geometry copying src (positions, normals, bounds, colours, materials in
// index order, triangles whole), with mirror-split texture coordinates, skin attached and
// finished by the host. Null without a log line when src lacks texture coordinates,
// triangles, vertex data or positions, when skin is null, when a count is negative, or
// when the host constructor fails. Triangles whose vertex indices reach past the vertex
// count are copied but give no vertex a side.
HostGeometry* CopyBloodGeometry(HostGame& host, HostGeometry* src, HostSkin* skin);
