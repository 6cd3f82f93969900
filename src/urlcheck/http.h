// HTTP(S) requests on libcurl for the URL checks and the consent request:
// one easy handle per thread, reused from request to request.
#pragma once

#include "base/string.h"

// ---- Types -----------------------------------------------------------------

enum HttpMethod : u32 {
    HTTP_METHOD_GET = 0,
    HTTP_METHOD_HEAD = 1,
    HTTP_METHOD_POST = 2,
    HTTP_METHOD_PUT = 3,
    HTTP_METHOD_DELETE = 4,
    HTTP_METHOD_CONNECT = 5,
    HTTP_METHOD_OPTIONS = 6,
    HTTP_METHOD_TRACE = 7,
    HTTP_METHOD_PATCH = 8,
};

enum HttpError : u32 {
    HTTP_ERROR_NONE = 0,
    HTTP_ERROR_SECURE_CHANNEL = 1,  // TLS handshake or certificate failure
    HTTP_ERROR_NAME_NOT_RESOLVED = 2,
    HTTP_ERROR_CONNECTION = 3,
    HTTP_ERROR_TIMEOUT = 4,
};

// What went wrong, finer than HttpError: the report says it in words.
enum HttpFailure : u32 {
    HTTP_FAILURE_NONE = 0,
    HTTP_FAILURE_REFUSED = 1,             // nothing listens on the port
    HTTP_FAILURE_UNREACHABLE = 2,         // no route to the host or its network
    HTTP_FAILURE_NO_CONNECTION = 3,       // could not connect for another reason
    HTTP_FAILURE_EMPTY_REPLY = 4,         // the server closed without answering
    HTTP_FAILURE_CONNECTION_LOST = 5,     // broken while sending or receiving
    HTTP_FAILURE_NOT_HTTP = 6,            // the answer is not HTTP
    HTTP_FAILURE_TOO_MANY_REDIRECTS = 7,  // more than HTTP_MAX_REDIRECTS, a loop most of the time
    HTTP_FAILURE_NO_LIBRARY = 8,          // libcurl could not be loaded: nothing was sent
};

struct HttpRequestOptions {
    u32 method;            // HttpMethod; other values mean GET
    String user_agent;     // empty: the default browser user agent
    String content_type;   // sent as "Content-Type" when not empty
    String accept;         // empty: "*/*"
    String extra_headers;  // "\r\n"-separated header lines, sent in order
    String body;
    u32 no_redirect;  // non-zero: redirects are not followed (nor TLS forced on other schemes than http)
    u32 read_body;    // non-zero: keep the response body
};

struct HttpResult {
    String url;  // as requested
    // Status line and headers of the final response, CRLF-separated; empty
    // when the last request made had no answer (also after redirects).
    String head;
    String body;         // when read_body was set and the exchange succeeded
    u32 error;           // HttpError
    u32 failure;         // HttpFailure
    u32 redirect_count;  // redirects followed
    u64 elapsed_ms;      // from sending the request to the end of the response
    String final_url;    // after redirects; the requested URL when none was followed
};

struct HttpStatusLine {
    u32 status;      // 0 when the head has no status line
    String version;  // after "HTTP/", e.g. "1.1"
    String rest;     // the headers after the status line
};

// ---- Settings ----------------------------------------------------------------

// Time limits. A server that answers within 10 s is never timed out: only
// HTTP_STALL_SECONDS without a byte ends a transfer that is connected.
#define HTTP_CONNECT_TIMEOUT_MS 7000  // name resolution, connection and TLS handshake
#define HTTP_STALL_SECONDS 15
#define HTTP_TOTAL_TIMEOUT_MS 30000
#define HTTP_MAX_REDIRECTS 10

// Bounds on what one response may hold in memory; the transfer stops there.
#define HTTP_MAX_HEAD_SIZE KB(256)
#define HTTP_MAX_BODY_SIZE MB(8)
// A body that is not kept is still read and dropped up to this size when its
// length is announced, so that the connection can serve the next request.
#define HTTP_DRAIN_LIMIT KB(64)

// Loads libcurl and sets it up, once, on the first call from any thread;
// false when it cannot be loaded. Requests call it themselves.
bool http_global_init();
// A PEM bundle of trusted certificate authorities used by every request
// made after the call (empty: the system's bundle). The path is copied.
void http_set_ca_file(String path);

// ---- Requests ----------------------------------------------------------------

// Performs one request on the calling thread's easy handle; every String of
// the result is allocated in `arena`.
HttpResult http_request(Arena* arena, String url, const HttpRequestOptions* options);
// Frees the calling thread's easy handle; for threads that end.
void http_thread_release();
// The URL libcurl is given for `url`: "http://" is requested over plain HTTP
// and "https://" over TLS; any other scheme over TLS on its own port unless
// no_redirect is set (so ftp://host/p becomes https://host:21/p); the
// default port of the protocol is left out.
String http_wire_url(Arena* arena, String url, u32 no_redirect);
// Maps a libcurl result code to an HttpError.
u32 http_error_from_curl_code(int code);
// Maps a libcurl result code and the system error number it saw to an
// HttpFailure (none for TLS, name and timeout errors: HttpError names them).
u32 http_failure_from_curl_code(int code, long os_errno);

// Status code, version and headers of a raw response head.
HttpStatusLine http_parse_status(String head);
