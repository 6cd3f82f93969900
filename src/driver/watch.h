// Watch mode: after the build the program stays, watches the documents and
// the site root's templates and style sheets, and rebuilds what each change
// touches: an edited document's pages and raw views, the home page when a
// title, an output path or a status changed, every page when a template or
// style sheet changed. With `serve` it also serves the site and tells open
// pages what changed. Ctrl-C (or SIGTERM) ends it once the pages being
// written are stored.
#pragma once

#include "base/entry.h"
#include "driver/build_state.h"

struct Watch;

// True when the options ask to keep watching: "watch", or "serve", which
// implies it.
bool watch_requested(const OptionTable* options);
// Before any thread starts: checks the options of watching and serving
// (prints what is wrong), and holds termination requests so that they end
// the watch cleanly. False when the run must stop.
bool watch_prepare(const OptionTable* options);
// Before the build: starts watching and records every document the build
// commits. Serving builds site-absolute links. Null, with a line saying
// why, when nothing can be watched (the build then runs as usual).
Watch* watch_attach(RunState* run, const OptionTable* options);
// After the build: serves the site when asked, then rebuilds on every change
// until a termination request, and returns 0 (2 when the server could not
// start).
int watch_run(Watch* watch);
