// Stopping a run early: a signal asks, and the run's long steps check as they go.
#pragma once

// Asks the run in progress to stop (safe from a signal handler): it removes what it has
// staged and throws PreviewError with status 128 + signal.
void StopPreview(int signal);
// Throws that PreviewError when a stop was asked for; long steps call it as they go.
void CheckStop();
