// Splitting and comparing URLs without copying: scheme, host, port, path
// are slices of the URL text.
#pragma once

#include "base/string.h"

struct UrlParts {
    String port;    // after the first ":" past the scheme, to the end
    String host;    // after the scheme, up to the first ":" or "/"
    String scheme;  // up to and including "://"; empty without "://"
    String path;    // from the first "/" after the scheme; empty when none
};

UrlParts url_split(String url);
// True when the URL names a host on the network: a scheme, and a host with
// a "." in it.
bool url_is_external(UrlParts parts);
// Equal parts once everything up to and including the first "www." of each
// host is dropped.
bool url_same_ignoring_www(UrlParts a, UrlParts b);
