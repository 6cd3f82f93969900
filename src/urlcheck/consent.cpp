#include "urlcheck/consent.h"

#include "base/url.h"

// The video site's own values, as its consent form sends them. They change
// when the site redeploys its consent front end; update them here.
const String consent_product_code = S("yt");
const String consent_continue_url = S("https://www.youtube.com/watch?v=jNQXAC9IVRw&cbrd=1");
const String consent_build_label = S("boq_identityfrontenduiserver_20240520.08_p0");

String form_encode(Arena* arena, String value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    u64 size = 0;
    for (u64 i = 0; i < value.size; i += 1) {
        u8 c = value.str[i];
        bool plain = char_is_alpha(c) || char_is_digit(c) || c == '-' || c == '.' || c == '_' || c == '~';
        size += plain ? 1 : 3;
    }
    u8* out = push_array_no_zero<u8>(arena, size + 1);
    u64 at = 0;
    for (u64 i = 0; i < value.size; i += 1) {
        u8 c = value.str[i];
        bool plain = char_is_alpha(c) || char_is_digit(c) || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out[at++] = c;
        } else {
            out[at++] = '%';
            out[at++] = (u8)hex[c >> 4];
            out[at++] = (u8)hex[c & 15];
        }
    }
    out[at] = 0;
    return String{out, size};
}

// Host with its port when one is written, and the origin, of the endpoint.
static void consent_authority(String consent_url, String* authority, String* origin) {
    UrlParts parts = url_split(consent_url);
    String rest = string_skip(consent_url, parts.scheme.size);
    u64 end = string_find_byte(rest, '/', 0);
    *authority = string_prefix(rest, end);
    *origin = string_prefix(consent_url, parts.scheme.size + authority->size);
}

String consent_extra_headers(Arena* arena, String consent_url) {
    String authority, origin;
    consent_authority(consent_url, &authority, &origin);
    Scratch scratch(arena);
    StringList lines = {};
    string_list_pushf(scratch.arena, &lines, "Host: %.*s", STR_ARG(authority));
    string_list_push(scratch.arena, &lines, S("Accept-Language: en-US,en;q=0.5"));
    string_list_push(scratch.arena, &lines, S("Accept-Encoding: identity"));
    string_list_pushf(scratch.arena, &lines, "Referer: %.*s/", STR_ARG(origin));
    string_list_push(scratch.arena, &lines, S("Content-Type: application/x-www-form-urlencoded"));
    string_list_pushf(scratch.arena, &lines, "Origin: %.*s", STR_ARG(origin));
    string_list_push(scratch.arena, &lines, S("DNT: 1"));
    string_list_push(scratch.arena, &lines, S("Sec-GPC: 1"));
    string_list_push(scratch.arena, &lines, S("Connection: keep-alive"));
    string_list_push(scratch.arena, &lines, S("Upgrade-Insecure-Requests: 1"));
    string_list_push(scratch.arena, &lines, S("Sec-Fetch-Dest: document"));
    string_list_push(scratch.arena, &lines, S("Sec-Fetch-Mode: navigate"));
    string_list_push(scratch.arena, &lines, S("Sec-Fetch-Site: none"));
    string_list_push(scratch.arena, &lines, S("Sec-Fetch-User: ?1"));
    string_list_push(scratch.arena, &lines, S("Priority: u=0, i"));
    string_list_push(scratch.arena, &lines, S("Pragma: no-cache"));
    string_list_push(scratch.arena, &lines, S("Cache-Control: no-cache"));
    string_list_push(scratch.arena, &lines, S("TE: trailers"));
    StringJoin join = {{}, S("\r\n"), {}};
    return string_list_join(arena, &lines, &join);
}

String consent_form_body(Arena* arena) {
    Scratch scratch(arena);
    String pc = form_encode(scratch.arena, consent_product_code);
    String next = form_encode(scratch.arena, consent_continue_url);
    String bl = form_encode(scratch.arena, consent_build_label);
    return string_format(arena, "gl=FR&m=0&app=0&pc=%.*s&continue=%.*s&x=6&bl=%.*s&hl=en&src=1&cm=2&set_eom=true",
                         STR_ARG(pc), STR_ARG(next), STR_ARG(bl));
}

HttpResult consent_request(Arena* arena, String consent_url) {
    if (!consent_url.size) consent_url = S(URL_CONSENT_DEFAULT_URL);
    Scratch scratch(arena);
    HttpRequestOptions options = {};
    options.method = HTTP_METHOD_POST;
    options.accept = S("text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,*/*;q=0.8");
    options.extra_headers = consent_extra_headers(scratch.arena, consent_url);
    options.body = consent_form_body(scratch.arena);
    options.no_redirect = 1;
    return http_request(arena, consent_url, &options);
}
