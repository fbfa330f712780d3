// Placeholder until the configuration reader lands.
#include "core/config.h"
void LoadConfig(BloodConfig&, const char*) {}
std::vector<std::string> SplitNameList(const char*) { return {}; }
