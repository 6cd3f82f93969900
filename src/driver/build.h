// The build driver: one call is one whole build of a site.
#pragma once

#include "base/entry.h"

// Process start-up around one build: --help and --version, the system layer,
// the file service and the network layer, then build_run. Returns the exit
// status: 0 built, 1 a page failed to write, 2 aborted.
int build_main(const OptionTable* options);
// One whole build; returns the exit status as build_main does.
int build_run(const OptionTable* options);
