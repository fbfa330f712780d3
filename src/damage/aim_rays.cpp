#include "damage/aim_rays.h"

void GetAimRays(HostGame& host, HostPed* shooter, AimRays& rays) {
  Vec3 origin = host.EntityPosition(AsEntity(shooter));
  host.AimTargetQuery(kAimRange, origin, &rays.aimStart, &rays.aimEnd);
  Vec3 eye{0, 0, 0};
  Vec3 direction{0, 0, 0};
  host.ActiveView(&eye, &direction);
  rays.viewStart = eye;
  rays.viewEnd = eye + direction * kAimRange;
}

Vec3 GetBonePosition(HostGame& host, HostPed* ped, int32_t boneId) {
  if (HostRenderObject* object = host.PedRenderObject(ped)) {
    if (HostHierarchy* hierarchy = host.SkinHierarchy(object)) {
      HierarchyView view = host.GetHierarchy(hierarchy);
      if (view.boneMatrices) {
        int32_t index = host.BoneIndex(hierarchy, boneId);
        // An index the hierarchy does not hold is treated like a missing bone.
        if (index >= 0 && index < view.boneCount) {
          const HostMatrix& bone = view.boneMatrices[index];
          return {bone.m[3][0], bone.m[3][1], bone.m[3][2]};
        }
      }
    }
  }
  return host.PedBonePosition(ped, boneId);
}
