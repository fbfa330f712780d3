#include "preview_ped.h"

#include "host/sim/procedural_ped.h"

namespace {

// Fills a game texture with one colour (the host's pixel order: blue, green, red, alpha).
void PaintTexture(HostTexture* texture, uint8_t red, uint8_t green, uint8_t blue) {
  SimSurface* surface = texture ? SimHost::Sim(texture)->surface : nullptr;
  if (!surface || surface->stride < 4 * surface->width) return;
  for (int y = 0; y < surface->height; ++y) {
    uint8_t* row = surface->pixels.data() + static_cast<size_t>(y) * surface->stride;
    for (int x = 0; x < surface->width; ++x) {
      uint8_t* p = row + 4 * static_cast<size_t>(x);
      p[0] = blue, p[1] = green, p[2] = red, p[3] = 255;
    }
  }
}

PedPose ProceduralPose(ScenarioPose pose) {
  switch (pose) {
    case ScenarioPose::Lying:
      return PedPose::Lying;
    case ScenarioPose::ArmsRaised:
      return PedPose::ArmsRaised;
    case ScenarioPose::Standing:
      break;
  }
  return PedPose::Standing;
}

}  // namespace

PreviewPed LoadBuiltInPed(SimHost& sim) {
  ProceduralPed built = AddProceduralPed(sim);
  const std::vector<HostMaterial*>& body = SimHost::Sim(built.bodyGeometry)->materials;
  const std::vector<HostMaterial*>& head = SimHost::Sim(built.headGeometry)->materials;
  // Material 0 of the body is skin, 1 clothes; the head has the face.
  if (body.size() > 0) PaintTexture(sim.MaterialTexture(body[0]), 200, 152, 122);
  if (body.size() > 1) PaintTexture(sim.MaterialTexture(body[1]), 82, 98, 126);
  if (!head.empty()) PaintTexture(sim.MaterialTexture(head[0]), 206, 158, 128);

  PreviewPed ped;
  ped.ped = built.ped;
  ped.description = "built-in ped";
  ped.meshNames[built.body] = "body";
  ped.meshNames[built.head] = "head";
  SimHost* world = &sim;
  ped.pose = [world, built](ScenarioPose pose) {
    SimEntity* entity = SimHost::Sim(built.ped);
    float health = entity->health;
    PedPlacement placement;
    placement.pose = ProceduralPose(pose);
    PoseProceduralPed(*world, built, placement);
    entity->health = health;
  };
  return ped;
}
