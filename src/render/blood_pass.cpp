// Placeholder until the blood pass lands.
#include "render/blood_pass.h"
void DrawBloodPass(HostPed*) {}
void UploadLayer(MaskLayer&) {}
