#include "urlcheck/http.h"

// libcurl is loaded when the first request is made, not at start-up: a
// build that checks no URL pays neither for loading it (and its TLS and
// compression libraries) nor for its global set-up, and the connection test
// that runs in the background loads it there. The declarations come from its
// header, the functions from the library.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include "base/os.h"

// ---- libcurl -----------------------------------------------------------------

struct CurlApi {
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    void (*easy_reset)(CURL* handle);
    void (*easy_cleanup)(CURL* handle);
    CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
    CURLcode (*easy_perform)(CURL* handle);
    CURLcode (*easy_getinfo)(CURL* handle, CURLINFO info, ...);
    curl_slist* (*slist_append)(curl_slist* list, const char* text);
    void (*slist_free_all)(curl_slist* list);
    bool loaded;  // every function was found and the library set up
};

static CurlApi g_curl;
static OsOnce g_curl_once;

#define curl_easy_init g_curl.easy_init
#define curl_easy_reset g_curl.easy_reset
#define curl_easy_cleanup g_curl.easy_cleanup
#undef curl_easy_setopt
#define curl_easy_setopt g_curl.easy_setopt
#define curl_easy_perform g_curl.easy_perform
#undef curl_easy_getinfo
#define curl_easy_getinfo g_curl.easy_getinfo
#define curl_slist_append g_curl.slist_append
#define curl_slist_free_all g_curl.slist_free_all

// ---- Settings ----------------------------------------------------------------

static Arena* g_http_settings_arena;
static String g_http_ca_file;

// libcurl's TLS library, OpenSSL, tears its global state down from an exit
// handler, and a request still running then (a worker, the connection test)
// crashes the exiting process. Asked before anything else starts it, OpenSSL
// installs no such handler; the process ends with its state in place. With
// another TLS library the symbol is absent and nothing is done.
typedef int OpensslInitCrypto(u64 options, const void* settings);
#define HTTP_OPENSSL_INIT_NO_ATEXIT 0x00080000ull

static void http_load_curl() {
    OsLibrary* library = os_library_open("libcurl.so.4");
    if (!library) return;
    auto find = [library](const char* name) { return os_library_symbol(library, name); };
    g_curl.global_init = (CURLcode(*)(long))find("curl_global_init");
    g_curl.easy_init = (CURL * (*)()) find("curl_easy_init");
    g_curl.easy_reset = (void (*)(CURL*))find("curl_easy_reset");
    g_curl.easy_cleanup = (void (*)(CURL*))find("curl_easy_cleanup");
    g_curl.easy_setopt = (CURLcode(*)(CURL*, CURLoption, ...))find("curl_easy_setopt");
    g_curl.easy_perform = (CURLcode(*)(CURL*))find("curl_easy_perform");
    g_curl.easy_getinfo = (CURLcode(*)(CURL*, CURLINFO, ...))find("curl_easy_getinfo");
    g_curl.slist_append = (curl_slist * (*)(curl_slist*, const char*)) find("curl_slist_append");
    g_curl.slist_free_all = (void (*)(curl_slist*))find("curl_slist_free_all");
    bool complete = g_curl.global_init && g_curl.easy_init && g_curl.easy_reset && g_curl.easy_cleanup &&
                    g_curl.easy_setopt && g_curl.easy_perform && g_curl.easy_getinfo && g_curl.slist_append &&
                    g_curl.slist_free_all;
    if (!complete) return;
    OpensslInitCrypto* openssl_init = (OpensslInitCrypto*)find("OPENSSL_init_crypto");
    if (openssl_init) openssl_init(HTTP_OPENSSL_INIT_NO_ATEXIT, 0);
    g_curl.loaded = g_curl.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

bool http_global_init() {
    os_once(&g_curl_once, http_load_curl);
    return g_curl.loaded;
}

void http_set_ca_file(String path) {
    if (!g_http_settings_arena) g_http_settings_arena = arena_create(KB(64), KB(4));
    g_http_ca_file = path.size ? string_copy(g_http_settings_arena, path) : String{};
}

// ---- Status line -------------------------------------------------------------

HttpStatusLine http_parse_status(String head) {
    HttpStatusLine result = {};
    u64 start = 0;
    while (start < head.size && char_is_whitespace(head.str[start])) start += 1;
    String text = string_skip(head, start);

    u64 line_end = string_find(text, S("\r\n"), 0, 0);
    String line = string_prefix(text, line_end);
    if (line_end < text.size) result.rest = string_skip(text, line_end + 2);
    if (!string_starts_with(line, S("HTTP/"), 0)) {
        result.rest = String{};
        return result;
    }

    String after = string_skip(line, 5);
    u64 space = string_find_byte(after, ' ', 0);
    result.version = string_prefix(after, space);
    u64 status = 0;
    for (u64 i = space + 1; i < after.size && char_is_digit(after.str[i]); i += 1) {
        status = status * 10 + (after.str[i] - '0');
        if (status > 0xFFFFFFFFull) status = 0xFFFFFFFFull;  // saturate on absurd digit runs
    }
    result.status = (u32)status;
    return result;
}

// ---- Error mapping -----------------------------------------------------------

u32 http_error_from_curl_code(int code) {
    switch ((CURLcode)code) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT: return HTTP_ERROR_SECURE_CHANNEL;
        case CURLE_COULDNT_RESOLVE_HOST: return HTTP_ERROR_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY: return HTTP_ERROR_CONNECTION;
        case CURLE_OPERATION_TIMEDOUT: return HTTP_ERROR_TIMEOUT;
        default: return HTTP_ERROR_NONE;
    }
}

u32 http_failure_from_curl_code(int code, long os_errno) {
    switch ((CURLcode)code) {
        case CURLE_COULDNT_CONNECT: {
            u32 kind = os_net_error_kind(os_errno);
            if (kind == OS_NET_ERROR_REFUSED) return HTTP_FAILURE_REFUSED;
            if (kind == OS_NET_ERROR_UNREACHABLE) return HTTP_FAILURE_UNREACHABLE;
            return HTTP_FAILURE_NO_CONNECTION;
        }
        case CURLE_GOT_NOTHING: return HTTP_FAILURE_EMPTY_REPLY;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR: return HTTP_FAILURE_CONNECTION_LOST;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL: return HTTP_FAILURE_NOT_HTTP;
        case CURLE_TOO_MANY_REDIRECTS: return HTTP_FAILURE_TOO_MANY_REDIRECTS;
        default: return HTTP_FAILURE_NONE;
    }
}

// ---- Request -----------------------------------------------------------------

struct HttpMethodName {
    u32 method;
    const char* name;
};
static constexpr HttpMethodName http_method_names[] = {
    {HTTP_METHOD_GET, "GET"},         {HTTP_METHOD_HEAD, "HEAD"},       {HTTP_METHOD_POST, "POST"},
    {HTTP_METHOD_PUT, "PUT"},         {HTTP_METHOD_DELETE, "DELETE"},   {HTTP_METHOD_CONNECT, "CONNECT"},
    {HTTP_METHOD_OPTIONS, "OPTIONS"}, {HTTP_METHOD_TRACE, "TRACE"},     {HTTP_METHOD_PATCH, "PATCH"},
};
static_assert(ARRAY_COUNT(http_method_names) == 9, "one name per method");

#define HTTP_DEFAULT_USER_AGENT "Mozilla/5.0 (Windows NT 10.0; rv:109.0) Gecko/20100101 Firefox/115.0"

struct HttpSchemePort {
    String scheme;
    u32 port;
};
static const HttpSchemePort http_scheme_ports[] = {
    {S("https://"), 443},
    {S("http://"), 80},
    {S("ftp://"), 21},
    {S("ssh://"), 22},
};
static_assert(ARRAY_COUNT(http_scheme_ports) == 4, "one default port per known scheme");

String http_wire_url(Arena* arena, String url, u32 no_redirect) {
    String scheme = {};
    String rest = url;
    u64 sep = string_find(url, S("://"), 0, 0);
    if (sep < url.size) {
        scheme = string_prefix(url, sep + 3);
        rest = string_skip(url, sep + 3);
    }
    u32 port = 0;
    for (const HttpSchemePort& row : http_scheme_ports) {
        if (string_match(scheme, row.scheme, MATCH_CASE_INSENSITIVE)) port = row.port;
    }
    bool secure = string_match(scheme, S("https://"), MATCH_CASE_INSENSITIVE) ||
                  (!string_match(scheme, S("http://"), MATCH_CASE_INSENSITIVE) && !no_redirect);

    // The authority ends where the path, query or fragment begins.
    u64 authority_end = rest.size;
    for (u64 i = 0; i < rest.size; i += 1) {
        u8 c = rest.str[i];
        if (c == '/' || c == '?' || c == '#') {
            authority_end = i;
            break;
        }
    }
    String authority = string_prefix(rest, authority_end);
    String path = string_skip(rest, authority_end);

    String host = authority;
    String port_text = {};
    u64 host_end = authority.size;
    if (authority.size && authority.str[0] == '[') {
        u64 close = string_find_byte(authority, ']', 0);
        if (close < authority.size) host_end = close + 1;
    } else {
        host_end = string_find_byte(authority, ':', 0);
    }
    host = string_prefix(authority, host_end);
    if (host_end < authority.size && authority.str[host_end] == ':') port_text = string_skip(authority, host_end + 1);

    bool digits = port_text.size > 0;
    u64 explicit_port = 0;
    for (u64 i = 0; i < port_text.size; i += 1) {
        if (!char_is_digit(port_text.str[i])) {
            digits = false;
            break;
        }
        // Anything past 65535 is refused by libcurl; keep the number bounded.
        if (explicit_port < 100000) explicit_port = explicit_port * 10 + (port_text.str[i] - '0');
    }
    if (digits) port = (u32)explicit_port;

    u32 protocol_port = secure ? 443 : 80;
    if (port == 0) port = protocol_port;
    const char* wire_scheme = secure ? "https://" : "http://";
    const char* slash = (path.size && path.str[0] == '/') ? "" : "/";
    if (port == protocol_port)
        return string_format(arena, "%s%.*s%s%.*s", wire_scheme, STR_ARG(host), slash, STR_ARG(path));
    return string_format(arena, "%s%.*s:%u%s%.*s", wire_scheme, STR_ARG(host), port, slash, STR_ARG(path));
}

namespace {

struct HttpTransfer {
    Arena* scratch;
    StringList head;
    StringList body;
    u32 status;  // of the response whose head is being collected
    u32 final_heads;     // heads begun with a status other than 1xx, one per request answered
    u32 has_length;      // that response announced its Content-Length
    u64 content_length;
    u64 drained;  // body bytes read and dropped when the body is not kept
    u32 read_body;
    u32 follow;
    u32 stopped;  // the callbacks ended the transfer on purpose
};

size_t http_on_header(char* data, size_t size, size_t count, void* user) {
    HttpTransfer* t = (HttpTransfer*)user;
    String line = str8(data, size * count);
    // Each response of a redirect chain starts a new head; only the last one
    // is kept.
    if (string_starts_with(line, S("HTTP/"), 0)) {
        t->head = StringList{};
        t->status = http_parse_status(line).status;
        t->has_length = 0;
        if (t->status < 100 || t->status > 199) t->final_heads += 1;
    }
    if (string_starts_with(line, S("Content-Length:"), MATCH_CASE_INSENSITIVE)) {
        String value = string_trim_whitespace(string_skip(line, 15));
        u64 length = 0;
        bool digits = value.size > 0 && value.size <= 18;
        for (u64 i = 0; digits && i < value.size; i += 1) {
            digits = char_is_digit(value.str[i]);
            length = length * 10 + (value.str[i] - '0');
        }
        t->has_length = digits;
        t->content_length = digits ? length : 0;
    }
    if (t->head.total_size + line.size > HTTP_MAX_HEAD_SIZE) {
        t->stopped = 1;
        return 0;
    }
    string_list_push(t->scratch, &t->head, string_copy(t->scratch, line));

    // End of a head: without a body to read, a final answer ends the transfer
    // here, so no large or endless body is downloaded. A small body of known
    // length is read and dropped instead, which keeps the connection usable
    // for the next URL of the same server.
    bool head_done = string_equal(line, S("\r\n")) || string_equal(line, S("\n"));
    if (head_done && !t->read_body) {
        bool informational = t->status >= 100 && t->status <= 199;
        bool followed = t->follow && t->status >= 300 && t->status <= 399;
        bool small = t->has_length && t->content_length <= HTTP_DRAIN_LIMIT;
        if (!informational && !followed && !small) {
            t->stopped = 1;
            return 0;
        }
    }
    return size * count;
}

size_t http_on_body(char* data, size_t size, size_t count, void* user) {
    HttpTransfer* t = (HttpTransfer*)user;
    u64 length = size * count;
    if (!t->read_body) {
        t->drained += length;
        if (t->drained > HTTP_DRAIN_LIMIT) {
            t->stopped = 1;
            return 0;
        }
        return length;
    }
    u64 room = HTTP_MAX_BODY_SIZE - t->body.total_size;
    if (length > room) {
        if (room) string_list_push(t->scratch, &t->body, string_copy(t->scratch, str8(data, room)));
        t->stopped = 1;
        return 0;
    }
    string_list_push(t->scratch, &t->body, string_copy(t->scratch, str8(data, length)));
    return length;
}

thread_local CURL* tl_http_handle;

CURL* http_thread_handle() {
    if (!http_global_init()) return 0;
    if (!tl_http_handle) {
        tl_http_handle = curl_easy_init();
    } else {
        // Reset drops the options but keeps the connection and TLS session
        // caches of the handle.
        curl_easy_reset(tl_http_handle);
    }
    return tl_http_handle;
}

bool http_url_has_control_bytes(String url) {
    for (u64 i = 0; i < url.size; i += 1) {
        if (url.str[i] < 0x20 || url.str[i] == 0x7F) return true;
    }
    return false;
}

}  // namespace

void http_thread_release() {
    if (tl_http_handle) curl_easy_cleanup(tl_http_handle);
    tl_http_handle = 0;
}

HttpResult http_request(Arena* arena, String url, const HttpRequestOptions* options) {
    HttpResult result = {};
    result.url = string_copy(arena, url);
    result.final_url = result.url;
    Scratch scratch(arena);

    // A URL with control bytes (a NUL above all) cannot be handed to libcurl
    // as a C string without changing it; it fails like a malformed URL.
    if (http_url_has_control_bytes(url)) return result;
    if (!http_global_init()) {
        result.error = HTTP_ERROR_CONNECTION;
        result.failure = HTTP_FAILURE_NO_LIBRARY;
        return result;
    }

    HttpRequestOptions o = *options;
    if (!o.user_agent.size) o.user_agent = S(HTTP_DEFAULT_USER_AGENT);
    if (!o.accept.size) o.accept = S("*/*");

    // Header block, in this order: User-Agent, Content-Type when given,
    // Accept, then every extra line.
    curl_slist* headers = 0;
    headers = curl_slist_append(
        headers, (const char*)string_format(scratch.arena, "User-Agent: %.*s", STR_ARG(o.user_agent)).str);
    if (o.content_type.size) {
        headers = curl_slist_append(
            headers, (const char*)string_format(scratch.arena, "Content-Type: %.*s", STR_ARG(o.content_type)).str);
    }
    headers =
        curl_slist_append(headers, (const char*)string_format(scratch.arena, "Accept: %.*s", STR_ARG(o.accept)).str);
    StringList extra = string_split(scratch.arena, o.extra_headers, S("\r\n"), 0);
    for (StringNode* n = extra.first; n; n = n->next) {
        headers = curl_slist_append(headers, (const char*)string_copy(scratch.arena, n->string).str);
    }
    // An empty "Expect:" keeps libcurl from waiting for "100 Continue" on
    // larger bodies; it is not sent.
    headers = curl_slist_append(headers, "Expect:");

    String wire = http_wire_url(scratch.arena, url, o.no_redirect);
    HttpTransfer transfer = {};
    transfer.scratch = scratch.arena;
    transfer.read_body = o.read_body;
    transfer.follow = !o.no_redirect;

    CURL* h = http_thread_handle();
    curl_easy_setopt(h, CURLOPT_URL, (const char*)wire.str);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Direct connections only: proxy variables of the environment are not
    // configuration of this program.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, (long)CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, (long)HTTP_CONNECT_TIMEOUT_MS);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, (long)HTTP_STALL_SECONDS);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, (long)HTTP_TOTAL_TIMEOUT_MS);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, o.no_redirect ? 0L : 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, (long)HTTP_MAX_REDIRECTS);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, http_on_header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, http_on_body);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    if (g_http_ca_file.size) curl_easy_setopt(h, CURLOPT_CAINFO, (const char*)g_http_ca_file.str);

    u32 method = o.method < ARRAY_COUNT(http_method_names) ? o.method : HTTP_METHOD_GET;
    if (method == HTTP_METHOD_GET) {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (method == HTTP_METHOD_HEAD) {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
        if (method == HTTP_METHOD_POST || o.body.size) {
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, (curl_off_t)o.body.size);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, o.body.size ? (const char*)o.body.str : "");
        }
        if (method != HTTP_METHOD_POST) curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, http_method_names[method].name);
    }

    u64 start = os_now_microseconds();
    CURLcode code = curl_easy_perform(h);
    u64 end = os_now_microseconds();
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, (curl_slist*)0);
    curl_slist_free_all(headers);

    bool stopped_here = transfer.stopped && code == CURLE_WRITE_ERROR;
    bool ok = code == CURLE_OK || stopped_here;
    long os_errno = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &os_errno);
    long redirects = 0;
    curl_easy_getinfo(h, CURLINFO_REDIRECT_COUNT, &redirects);
    result.error = ok ? HTTP_ERROR_NONE : http_error_from_curl_code(code);
    result.failure = ok ? HTTP_FAILURE_NONE : http_failure_from_curl_code(code, os_errno);
    result.redirect_count = (u32)MAX(redirects, 0L);
    result.elapsed_ms = (end - start) / 1000;
    // A failed request that followed redirects may hold the head of a
    // redirect it followed, not of an answer to its last request; and a
    // redirect loop ends nowhere. Neither is a final answer.
    bool last_answered = transfer.final_heads > (u32)result.redirect_count;
    bool no_final_answer = !ok && (!last_answered || result.failure == HTTP_FAILURE_TOO_MANY_REDIRECTS);
    if (!no_final_answer) result.head = string_list_join(arena, &transfer.head);
    if (o.read_body && ok) result.body = string_list_join(arena, &transfer.body);

    if (redirects > 0) {
        char* effective = 0;
        curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective);
        if (effective) result.final_url = string_copy(arena, string_from_cstr(effective));
    }
    return result;
}
