// The local preview server: serves the site's html/ folder on 127.0.0.1
// while the program watches the documents, and tells open pages when a
// rebuild changed them. HTML responses carry a small script (added to the
// response only, never to the file) that listens to the server's events at
// SERVE_EVENTS_PATH and reloads its page when the page changed, or reloads
// the linked style sheets in place when only style sheets changed.
#pragma once

#include "base/arena.h"
#include "base/entry.h"
#include "base/string.h"

#define SERVE_DEFAULT_PORT 8008
// Ports tried, from the asked one upward, before giving up.
#define SERVE_PORT_TRIES 100
#define SERVE_EVENTS_PATH "/__kavsite/events"

// ---- Options -----------------------------------------------------------------------

// True when the options ask for the server ("serve" or "serve=PORT").
bool serve_requested(const OptionTable* options);
// The port asked for: SERVE_DEFAULT_PORT for "serve" alone (also "=1" and
// "=true", which turn a switch on); 0 when the value is not a port number
// (1 to 65535).
u16 serve_port_option(const OptionTable* options);

// ---- Requests (pure, no server needed) ---------------------------------------------

enum ServeTarget : u32 {
    SERVE_NOT_FOUND = 0,  // nothing there, or outside the served folder
    SERVE_FILE = 1,       // `path` is the file to send
    SERVE_REDIRECT = 2,   // a folder asked for without its final "/": send the client there
};

struct ServeResolved {
    ServeTarget target;
    String path;  // SERVE_FILE: the file, links resolved
};

// What the request path `url` (already percent-decoded) names under
// `folder`, which is a real path (links resolved) ending in "/". A ".."
// component, a "\" or a NUL byte, a path that does not begin with "/", and
// anything whose links lead out of `folder` are not found. A folder is
// served by its index.html.
ServeResolved serve_resolve(Arena* arena, String folder, String url);
// The Content-Type of a file, by its extension (any case); a generic binary
// type for unknown ones.
String serve_content_type(String path);
// The page with the live-reload script inserted before its last "</body"
// (any case), or at its end when it has none.
String serve_inject_reload(Arena* arena, String html);
// The text of one change event: its number, whether every page changed,
// whether style sheets changed, and the changed pages' site paths
// ("/notes/a.html"), as JSON on one line.
String serve_event_json(Arena* arena, u64 number, bool all, bool css, const StringList* pages);

// ---- Server ------------------------------------------------------------------------

struct Server;

// Serves `folder` (absolute, ending in "/") on 127.0.0.1 from `port` upward
// (SERVE_PORT_TRIES ports), printing the port taken instead of a busy one
// and the address to open. Null, with a line saying why, when no port could
// be had.
Server* serve_start(String folder, u16 port);
u16 serve_port(const Server* server);
// Tells every open page what a rebuild changed: `pages` are site paths
// ("/notes/a.html"); `all` when every page changed; `css` when a style sheet
// changed. Past SERVE_EVENT_PAGES pages the event says all.
#define SERVE_EVENT_PAGES 200
void serve_publish(Server* server, const StringList* pages, bool all, bool css);
// Ends every event stream, closes the connections and stops the server.
void serve_stop(Server* server);
