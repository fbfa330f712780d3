// Pictures of a ped from the draws the game made when it rendered the ped: the base pass
// with the game's textures, then the blood pass as the system set it up (the
// BloodGeometry with the blood textures, blended by their alpha).
#pragma once

#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "software_raster.h"

// The ped's own axes, so that "front" shows its front whether it stands or lies.
struct BodyFrame {
  Vec3 up;     // feet to head
  Vec3 front;  // the way the chest faces
  Vec3 right;  // the ped's right-hand side
};

// From the pelvis (or spine), head (or neck, upper spine) and upper-arm bones (game
// numbers 1 or 2, 5, 4 or 3, 22 and 32); the entity's axes (z up, facing +y unturned)
// where those bones are missing or degenerate.
BodyFrame PedBodyFrame(SimHost& sim, HostPed* ped);

// The world position of a game bone as the system finds it, when the ped's skeleton has
// that bone; false otherwise (the host would answer with the ped's position).
bool FindBone(SimHost& sim, HostPed* ped, int32_t bone, Vec3* position);

// A view along direction (from the camera towards the ped) with up as the picture's up.
struct Camera {
  std::string name;
  Vec3 direction;
  Vec3 up;
};

// The cameras a scenario may name: front, back, left, right, above, below. False for any
// other name.
bool NamedCamera(const std::string& name, const BodyFrame& frame, Camera* camera);
const std::vector<std::string>& CameraNames();

// Renders draws (in the order the game made them) of the ped from camera into a width x
// height canvas, orthographic and framed around the ped's posed vertices. Each mesh is
// skinned once with the ped's current pose; a draw whose geometry does not match its
// mesh's vertex count is skipped. Draws that bind a geometry other than the mesh's own
// are the blood pass: alpha-blended, depth-tested, without depth writes.
Canvas RenderPed(SimHost& sim, HostPed* ped, const std::vector<SimDraw>& draws,
                 const Camera& camera, int width, int height);
