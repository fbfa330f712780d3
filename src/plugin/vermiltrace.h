// The plug-in object: its constructor is the whole start-up, its destructor the shutdown.
#pragma once

#include "host/host_game.h"
#include "plugin/startup_options.h"

class Vermiltrace {
 public:
  explicit Vermiltrace(HostGame& host, const StartupOptions& options = StartupOptions());
  ~Vermiltrace();
  Vermiltrace(const Vermiltrace&) = delete;
  Vermiltrace& operator=(const Vermiltrace&) = delete;
};
