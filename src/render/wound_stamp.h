// Stamping a wound into the ped's blood masks in the texture space of its BloodGeometry:
// the wound is posed on the current snapshot (wound_shape), then every triangle within
// reach (paintable_mesh) is rasterised (triangle_raster) into the MaskLayer of its mesh
// and material. Amounts only grow.
#pragma once

#include <cstdint>
#include <vector>

#include "blood/blood_records.h"
#include "render/paintable_mesh.h"
#include "render/triangle_raster.h"
#include "render/wound_shape.h"

// Paints the wound at age seconds into layers (creating layers on the way) over every
// mesh of the snapshot with a pose and a BloodGeometry, each material with the stamp of
// its surface kind (only plain ones while no list names a texture); returns the number of triangles
// painted (0 when the stamp cannot be built). Triangles with a vertex index at or past
// the vertex count, or with non-finite positions, are skipped. A painted triangle sets its
// layer's lastPaint; a layer is marked dirty, with its `changed` rectangle grown, only
// where a texel rose, so that repaints which raise nothing upload nothing. With a SeamMargin,
// each layer the painting raised texels in then gets its seam margin around them
// (FillSeamMargin). Wounds painted on one snapshot may share its bounds (empty at first, for
// that snapshot only). work, where given, receives the number of texels visited.
int32_t PaintWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, const Wound& wound,
                   const PosedMeshSnapshot& snapshot, float age, SnapshotBounds* bounds = nullptr,
                   size_t* work = nullptr);

// PaintWound for a wound already posed on the snapshot (PoseWound).
int32_t PaintPosedWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, const Wound& wound,
                        const PosedWound& pose, const PosedMeshSnapshot& snapshot, float age,
                        SnapshotBounds* bounds = nullptr, size_t* work = nullptr);

// The first layer for (mesh, materialIndex), else a new zeroed one appended (dirty, with
// the mesh's current geometry). The reference is valid until the next append.
MaskLayer& GetOrCreateLayer(const BloodContext& ctx, std::vector<MaskLayer>& layers, HostMesh* mesh,
                            int32_t materialIndex);

// Smooth value noise in [0, 1] on the integer lattice; 0 at the origin. Inputs that are
// not finite or lie beyond the 32-bit lattice give 0.
float ValueNoise3(float x, float y, float z);

// Per-texel jitter hash J(column, row) in 0 ... 65535; J(0, 0) = 20240.
uint32_t TexelJitter(uint32_t column, uint32_t row);
