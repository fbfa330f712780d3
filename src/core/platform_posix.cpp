// Placeholder until the platform layer lands.
#include "core/platform.h"
