// The consent request of the video site: a browser-like form POST that is
// also the URL check pool's connection test.
#pragma once

#include "base/string.h"
#include "urlcheck/http.h"

#define URL_CONSENT_DEFAULT_URL "https://consent.youtube.com/save"

// The extra header lines for the endpoint, in the order they are sent,
// joined with "\r\n".
String consent_extra_headers(Arena* arena, String consent_url);
// The form body, fields in the order they are sent.
String consent_form_body(Arena* arena);
// Percent-encoding of a form value: everything but A-Z a-z 0-9 - . _ ~
// becomes %XX.
String form_encode(Arena* arena, String value);

// Sends the request to `consent_url` (empty: the default endpoint) without
// following redirects.
HttpResult consent_request(Arena* arena, String consent_url);

// Values of the outside service that the form carries.
extern const String consent_product_code;  // `pc`
extern const String consent_continue_url;  // `continue`, before encoding
extern const String consent_build_label;   // `bl`
