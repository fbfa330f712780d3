#include "preview_stop.h"

#include <csignal>
#include <string>

#include "scenario.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;

}  // namespace

void StopPreview(int signal) { stopSignal = signal; }

void CheckStop() {
  if (stopSignal != 0) {
    throw PreviewError("stopped by signal " + std::to_string(stopSignal) + "; nothing was written",
                       128 + stopSignal);
  }
}
