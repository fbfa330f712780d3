// The plug-in object: its constructor is the whole start-up, its destructor the shutdown.
#pragma once

#include "host/host_game.h"

class Vermiltrace {
 public:
  explicit Vermiltrace(HostGame& host);
  ~Vermiltrace();
  Vermiltrace(const Vermiltrace&) = delete;
  Vermiltrace& operator=(const Vermiltrace&) = delete;
};
