// Placeholder until the blood geometry lands.
#include "render/blood_geometry.h"
HostGeometry* GetBloodGeometry(HostGeometry*) { return nullptr; }
HostGeometry* CopyBloodGeometry(HostGeometry*, HostSkin*) { return nullptr; }
