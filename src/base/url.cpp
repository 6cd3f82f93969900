#include "base/url.h"

UrlParts url_split(String url) {
    UrlParts parts = {};
    if (url.size && char_is_slash(url.str[url.size - 1])) url = string_chop(url, 1);

    u64 rest_start = 0;
    u64 scheme_end = string_find(url, S("://"), 0, 0);
    if (scheme_end < url.size) {
        rest_start = scheme_end + 3;
        parts.scheme = string_prefix(url, rest_start);
    }

    u64 colon = string_find_byte(url, ':', rest_start);
    if (colon < url.size) parts.port = string_skip(url, colon + 1);

    u64 slash = string_find_byte(url, '/', rest_start);
    if (slash >= url.size) {
        parts.host = string_skip(url, rest_start);
    } else {
        u64 host_end = MIN(slash, colon);
        parts.host = string_substr(url, rest_start, host_end);
        parts.path = string_skip(url, slash);
    }
    return parts;
}

bool url_is_external(UrlParts parts) {
    return parts.scheme.size && parts.host.size && string_find_byte(parts.host, '.', 0) < parts.host.size;
}

static String url_host_without_www(String host) {
    u64 at = string_find(host, S("www."), 0, 0);
    if (at < host.size) return string_skip(host, at + 4);
    return host;
}

bool url_same_ignoring_www(UrlParts a, UrlParts b) {
    return string_equal(a.port, b.port) && string_equal(url_host_without_www(a.host), url_host_without_www(b.host)) &&
           string_equal(a.scheme, b.scheme) && string_equal(a.path, b.path);
}
