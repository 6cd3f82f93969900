#include "driver/serve.h"

#include <microhttpd.h>
#include <string.h>

#include "base/os.h"

// ---- The HTTP library, loaded when a server starts ----------------------------------

// libmicrohttpd brings a TLS library and its dependencies; linked to the
// program, loading them would cost every build, served or not, milliseconds
// of start-up. It is opened the first time a server starts.
struct ServeLibrary {
    bool loaded;
    decltype(&MHD_start_daemon) start_daemon;
    decltype(&MHD_quiesce_daemon) quiesce_daemon;
    decltype(&MHD_stop_daemon) stop_daemon;
    decltype(&MHD_queue_response) queue_response;
    decltype(&MHD_create_response_from_callback) create_response_from_callback;
    decltype(&MHD_create_response_from_buffer) create_response_from_buffer;
    decltype(&MHD_create_response_from_buffer_with_free_callback_cls) create_response_from_buffer_with_free_callback_cls;
    decltype(&MHD_destroy_response) destroy_response;
    decltype(&MHD_add_response_header) add_response_header;
};

static ServeLibrary g_mhd;
static OsOnce g_mhd_once;

static void serve_load_library() {
    OsLibrary* library = os_library_open("libmicrohttpd.so.12");
    if (!library) return;
    auto find = [library](const char* name) { return os_library_symbol(library, name); };
    g_mhd.start_daemon = (decltype(g_mhd.start_daemon))find("MHD_start_daemon");
    g_mhd.quiesce_daemon = (decltype(g_mhd.quiesce_daemon))find("MHD_quiesce_daemon");
    g_mhd.stop_daemon = (decltype(g_mhd.stop_daemon))find("MHD_stop_daemon");
    g_mhd.queue_response = (decltype(g_mhd.queue_response))find("MHD_queue_response");
    g_mhd.create_response_from_callback =
        (decltype(g_mhd.create_response_from_callback))find("MHD_create_response_from_callback");
    g_mhd.create_response_from_buffer = (decltype(g_mhd.create_response_from_buffer))find("MHD_create_response_from_buffer");
    g_mhd.create_response_from_buffer_with_free_callback_cls =
        (decltype(g_mhd.create_response_from_buffer_with_free_callback_cls))find(
            "MHD_create_response_from_buffer_with_free_callback_cls");
    g_mhd.destroy_response = (decltype(g_mhd.destroy_response))find("MHD_destroy_response");
    g_mhd.add_response_header = (decltype(g_mhd.add_response_header))find("MHD_add_response_header");
    g_mhd.loaded = g_mhd.start_daemon && g_mhd.quiesce_daemon && g_mhd.stop_daemon && g_mhd.queue_response &&
                   g_mhd.create_response_from_callback && g_mhd.create_response_from_buffer &&
                   g_mhd.create_response_from_buffer_with_free_callback_cls && g_mhd.destroy_response &&
                   g_mhd.add_response_header;
}

#define MHD_start_daemon g_mhd.start_daemon
#define MHD_quiesce_daemon g_mhd.quiesce_daemon
#define MHD_stop_daemon g_mhd.stop_daemon
#define MHD_queue_response g_mhd.queue_response
#define MHD_create_response_from_callback g_mhd.create_response_from_callback
#define MHD_create_response_from_buffer g_mhd.create_response_from_buffer
#define MHD_create_response_from_buffer_with_free_callback_cls g_mhd.create_response_from_buffer_with_free_callback_cls
#define MHD_destroy_response g_mhd.destroy_response
#define MHD_add_response_header g_mhd.add_response_header

// ---- Options -----------------------------------------------------------------------

bool serve_requested(const OptionTable* options) { return option_present(options, S("serve")); }

u16 serve_port_option(const OptionTable* options) {
    String value = string_trim_whitespace(option_string(options, S("serve")));
    if (value.size == 0 || option_flag(options, S("serve"))) return SERVE_DEFAULT_PORT;
    u64 port = 0;
    for (u64 i = 0; i < value.size; i += 1) {
        if (!char_is_digit(value.str[i]) || i >= 5) return 0;
        port = port * 10 + (value.str[i] - '0');
    }
    return port >= 1 && port <= 65535 ? (u16)port : 0;
}

// ---- Requests ----------------------------------------------------------------------

ServeResolved serve_resolve(Arena* arena, String folder, String url) {
    ServeResolved result = {};
    if (url.size == 0 || url.str[0] != '/') return result;
    for (u64 i = 0; i < url.size; i += 1) {
        if (url.str[i] == '\\' || url.str[i] == 0) return result;
    }
    Scratch scratch(arena);
    StringList parts = string_split(scratch.arena, url, S("/"), 0);
    StringList kept = {};
    for (StringNode* n = parts.first; n; n = n->next) {
        if (string_equal(n->string, S(".."))) return result;
        if (!string_equal(n->string, S("."))) string_list_push(scratch.arena, &kept, n->string);
    }
    StringJoin join = {folder, S("/"), String{}};
    String path = kept.first ? string_list_join(scratch.arena, &kept, &join) : folder;
    bool asks_folder = url.str[url.size - 1] == '/';
    if (asks_folder) path = string_format(scratch.arena, "%.*s%sindex.html", STR_ARG(path), kept.first ? "/" : "");

    // Links are followed, and whatever they lead to must still be inside.
    String real = os_real_path(scratch.arena, path);
    if (real.size == 0) return result;
    if (!string_equal(real, string_chop(folder, 1)) && !string_starts_with(real, folder, 0)) return result;
    OsFileProperties props = os_path_properties(real);
    if (props.is_directory) {
        if (!asks_folder) result.target = SERVE_REDIRECT;
        return result;
    }
    if (!props.is_regular) return result;
    result.target = SERVE_FILE;
    result.path = string_copy(arena, real);
    return result;
}

struct ContentTypeRow {
    String extension;  // lower case, without the dot
    String type;
};

static constexpr ContentTypeRow content_types[] = {
    {SC("html"), SC("text/html; charset=utf-8")},
    {SC("htm"), SC("text/html; charset=utf-8")},
    {SC("css"), SC("text/css; charset=utf-8")},
    {SC("js"), SC("text/javascript; charset=utf-8")},
    {SC("mjs"), SC("text/javascript; charset=utf-8")},
    {SC("json"), SC("application/json")},
    {SC("svg"), SC("image/svg+xml")},
    {SC("png"), SC("image/png")},
    {SC("jpg"), SC("image/jpeg")},
    {SC("jpeg"), SC("image/jpeg")},
    {SC("gif"), SC("image/gif")},
    {SC("webp"), SC("image/webp")},
    {SC("ico"), SC("image/x-icon")},
    {SC("woff"), SC("font/woff")},
    {SC("woff2"), SC("font/woff2")},
    {SC("ttf"), SC("font/ttf")},
    {SC("txt"), SC("text/plain; charset=utf-8")},
    {SC("kav"), SC("text/plain; charset=utf-8")},
    {SC("pdf"), SC("application/pdf")},
};
static_assert(ARRAY_COUNT(content_types) == 19, "one row per served extension");

String serve_content_type(String path) {
    String name = path_file_name(path);
    u64 dot = string_find_last_byte(name, '.');
    if (dot < name.size) {
        String extension = string_skip(name, dot + 1);
        for (const ContentTypeRow& row : content_types) {
            if (string_match(row.extension, extension, MATCH_CASE_INSENSITIVE)) return row.type;
        }
    }
    return S("application/octet-stream");
}

static bool serve_is_html(String path) {
    String type = serve_content_type(path);
    return string_starts_with(type, S("text/html"), 0);
}

// Reloads the page when a change event names it (or every page), else
// reloads the linked style sheets in place when style sheets changed. The
// page's own path is compared decoded, with a folder standing for its
// index.html, as the server names pages. The event source is kept on the
// window, where tools can see whether it is open.
#define SERVE_RELOAD_SCRIPT                                                                                  \
    "<script>/* kavsite live reload */(function(){"                                                        \
    "var here=decodeURIComponent(location.pathname);if(here.slice(-1)==\"/\")here+=\"index.html\";"         \
    "var source=window.__kavsiteEvents=new EventSource(\"" SERVE_EVENTS_PATH "\");"                         \
    "source.addEventListener(\"change\",function(event){var change=JSON.parse(event.data);"               \
    "if(change.all||change.pages.indexOf(here)>=0){location.reload();return;}"                            \
    "if(!change.css)return;var links=document.querySelectorAll('link[rel~=\"stylesheet\"]');"             \
    "for(var i=0;i<links.length;i++){var url=new URL(links[i].href,location.href);"                       \
    "url.searchParams.set(\"kavsite_reload\",String(change.number));links[i].href=url.href;}});})();" \
    "</script>"

String serve_inject_reload(Arena* arena, String html) {
    u64 at = string_find_last(html, S("</body"), MATCH_CASE_INSENSITIVE);
    String before = string_prefix(html, at);
    String after = string_skip(html, at);
    String script = S(SERVE_RELOAD_SCRIPT);
    return string_format(arena, "%.*s%.*s%.*s", STR_ARG(before), STR_ARG(script), STR_ARG(after));
}

String serve_event_json(Arena* arena, u64 number, bool all, bool css, const StringList* pages) {
    Scratch scratch(arena);
    StringList out = {};
    string_list_pushf(scratch.arena, &out, "{\"number\":%llu,\"all\":%s,\"css\":%s,\"pages\":[",
                      (unsigned long long)number, all ? "true" : "false", css ? "true" : "false");
    for (StringNode* n = pages ? pages->first : 0; n && !all; n = n->next) {
        string_list_push(scratch.arena, &out, n == pages->first ? S("\"") : S(",\""));
        String s = n->string;
        u64 run = 0;
        for (u64 i = 0; i < s.size; i += 1) {
            u8 c = s.str[i];
            if (c != '"' && c != '\\' && c >= 0x20) continue;
            string_list_push(scratch.arena, &out, string_substr(s, run, i));
            if (c == '"' || c == '\\') {
                string_list_pushf(scratch.arena, &out, "\\%c", c);
            } else {
                string_list_pushf(scratch.arena, &out, "\\u%04x", c);
            }
            run = i + 1;
        }
        string_list_push(scratch.arena, &out, string_skip(s, run));
        string_list_push(scratch.arena, &out, S("\""));
    }
    string_list_push(scratch.arena, &out, S("]}"));
    return string_list_join(arena, &out);
}

// ---- Server ------------------------------------------------------------------------

// Change events kept for streams that fall behind; a stream further behind
// is told that every page changed.
#define SERVE_EVENT_COUNT 16
#define SERVE_EVENT_BYTES KB(16)
// An idle stream sends a comment this often, so a closed page's connection
// is noticed and its thread ends.
#define SERVE_KEEP_ALIVE_US (10ull * 1000 * 1000)
#define SERVE_STREAM_BLOCK KB(20)

struct ServeEvent {
    u64 size;
    char text[SERVE_EVENT_BYTES];  // the whole SSE message
};

struct EventStream;

struct Server {
    Arena* arena;
    String folder;       // real path, ending in "/"
    u16 port;
    struct MHD_Daemon* daemon;
    OsMutex* mutex;      // guards everything below
    OsCondition* cv;     // a new event or the stop wakes every stream
    u64 number;          // events published so far
    bool stopping;
    ServeEvent events[SERVE_EVENT_COUNT];  // event n is at n % SERVE_EVENT_COUNT
    EventStream* free_streams;
};

// One open event stream (one page in a browser). Its connection's thread
// is the only reader of `message` and `sent`.
struct EventStream {
    EventStream* next;  // on the free list
    Server* server;
    u64 seen;           // the last event number sent
    u64 size;           // bytes of `message`
    u64 sent;           // bytes of `message` already handed to the connection
    char message[SERVE_EVENT_BYTES + 256];
};

// Formats into `out` without an arena (event streams run on the library's
// threads); 0 when the text does not fit.
__attribute__((format(printf, 3, 4))) static u64 serve_print(char* out, u64 capacity, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    u64 size = format_to_buffer(out, capacity, fmt, args);
    va_end(args);
    return size < capacity ? size : 0;
}

static u64 serve_format_event(char* out, u64 capacity, u64 number, String json) {
    return serve_print(out, capacity, "id: %llu\nevent: change\ndata: %.*s\n\n", (unsigned long long)number,
                       STR_ARG(json));
}

void serve_publish(Server* server, const StringList* pages, bool all, bool css) {
    if (!server) return;
    Scratch scratch;
    if (pages && pages->node_count > SERVE_EVENT_PAGES) all = true;
    os_mutex_lock(server->mutex);
    u64 number = server->number + 1;
    String json = serve_event_json(scratch.arena, number, all, css, pages);
    ServeEvent* event = &server->events[number % SERVE_EVENT_COUNT];
    event->size = serve_format_event(event->text, sizeof(event->text), number, json);
    if (event->size == 0) {
        json = serve_event_json(scratch.arena, number, true, css, 0);
        event->size = serve_format_event(event->text, sizeof(event->text), number, json);
    }
    server->number = number;
    os_mutex_unlock(server->mutex);
    os_condition_broadcast(server->cv);
}

static ssize_t serve_stream_copy(EventStream* stream, char* buffer, size_t max) {
    u64 n = MIN((u64)max, stream->size - stream->sent);
    memcpy(buffer, stream->message + stream->sent, n);
    stream->sent += n;
    return (ssize_t)n;
}

// Called by the connection's own thread (one thread per connection): waits
// for the next event, a keep-alive time or the stop.
static ssize_t serve_stream_read(void* context, uint64_t position, char* buffer, size_t max) {
    (void)position;
    EventStream* stream = (EventStream*)context;
    Server* server = stream->server;
    if (stream->sent < stream->size) return serve_stream_copy(stream, buffer, max);
    u64 deadline = os_now_microseconds() + SERVE_KEEP_ALIVE_US;
    os_mutex_lock(server->mutex);
    while (!server->stopping && stream->seen == server->number) {
        if (!os_condition_wait_mutex(server->cv, server->mutex, deadline)) break;
    }
    stream->sent = 0;
    if (server->stopping) {
        os_mutex_unlock(server->mutex);
        return MHD_CONTENT_READER_END_OF_STREAM;
    }
    if (stream->seen == server->number) {
        String ping = S(": keep-alive\n\n");
        memcpy(stream->message, ping.str, ping.size);
        stream->size = ping.size;
    } else if (server->number - stream->seen > SERVE_EVENT_COUNT - 1) {
        // Fell too far behind to know what changed: everything did.
        stream->size = serve_print(stream->message, sizeof(stream->message),
                                   "id: %llu\nevent: change\ndata: {\"number\":%llu,\"all\":true,\"css\":true,"
                                   "\"pages\":[]}\n\n",
                                   (unsigned long long)server->number, (unsigned long long)server->number);
        stream->seen = server->number;
    } else {
        stream->seen += 1;
        ServeEvent* event = &server->events[stream->seen % SERVE_EVENT_COUNT];
        memcpy(stream->message, event->text, event->size);
        stream->size = event->size;
    }
    os_mutex_unlock(server->mutex);
    return serve_stream_copy(stream, buffer, max);
}

static void serve_stream_free(void* context) {
    EventStream* stream = (EventStream*)context;
    Server* server = stream->server;
    os_mutex_lock(server->mutex);
    stream->next = server->free_streams;
    server->free_streams = stream;
    os_mutex_unlock(server->mutex);
}

static enum MHD_Result serve_queue(struct MHD_Connection* connection, unsigned status, struct MHD_Response* response) {
    if (!response) return MHD_NO;
    MHD_add_response_header(response, "Cache-Control", "no-store");
    enum MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

static enum MHD_Result serve_text(struct MHD_Connection* connection, unsigned status, const char* text) {
    struct MHD_Response* response =
        MHD_create_response_from_buffer(string_from_cstr(text).size, (void*)text, MHD_RESPMEM_PERSISTENT);
    if (response) MHD_add_response_header(response, "Content-Type", "text/plain; charset=utf-8");
    return serve_queue(connection, status, response);
}

static enum MHD_Result serve_events(Server* server, struct MHD_Connection* connection) {
    os_mutex_lock(server->mutex);
    EventStream* stream = server->free_streams;
    if (stream) {
        server->free_streams = stream->next;
    } else {
        stream = push_struct<EventStream>(server->arena);
    }
    stream->server = server;
    stream->seen = server->number;
    os_mutex_unlock(server->mutex);
    // A browser reconnects after a second when the stream ends (the server
    // stopped and may come back).
    String hello = S("retry: 1000\n: connected\n\n");
    memcpy(stream->message, hello.str, hello.size);
    stream->size = hello.size;
    stream->sent = 0;
    struct MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, SERVE_STREAM_BLOCK,
                                                                      serve_stream_read, stream, serve_stream_free);
    if (!response) {
        serve_stream_free(stream);
        return MHD_NO;
    }
    MHD_add_response_header(response, "Content-Type", "text/event-stream");
    return serve_queue(connection, MHD_HTTP_OK, response);
}

static void serve_release_arena(void* context) { arena_release((Arena*)context); }

static enum MHD_Result serve_file(Server* server, struct MHD_Connection* connection, String url) {
    Arena* arena = arena_create(GB(1), KB(64));
    ServeResolved resolved = serve_resolve(arena, server->folder, url);
    if (resolved.target == SERVE_REDIRECT) {
        arena_release(arena);
        Scratch scratch;
        String location = string_format(scratch.arena, "%.*s/", STR_ARG(url));
        struct MHD_Response* response = MHD_create_response_from_buffer(0, (void*)"", MHD_RESPMEM_PERSISTENT);
        if (response) MHD_add_response_header(response, "Location", (const char*)location.str);
        return serve_queue(connection, MHD_HTTP_MOVED_PERMANENTLY, response);
    }
    OsFile file = resolved.target == SERVE_FILE ? os_open_file(OS_FILE_READ | OS_FILE_SHARE_READ, resolved.path)
                                                 : OS_FILE_INVALID;
    if (file == OS_FILE_INVALID) {
        arena_release(arena);
        return serve_text(connection, MHD_HTTP_NOT_FOUND, "404 Not Found\n");
    }
    String bytes = os_read_range(arena, file, Range64{0, os_file_properties(file).size});
    os_close_file(file);
    if (serve_is_html(resolved.path)) bytes = serve_inject_reload(arena, bytes);
    String type = string_copy(arena, serve_content_type(resolved.path));
    // The bytes stay in the request's arena until the response is done.
    struct MHD_Response* response =
        MHD_create_response_from_buffer_with_free_callback_cls(bytes.size, bytes.str, serve_release_arena, arena);
    if (!response) {
        arena_release(arena);
        return MHD_NO;
    }
    MHD_add_response_header(response, "Content-Type", (const char*)type.str);
    return serve_queue(connection, MHD_HTTP_OK, response);
}

// The library's connection threads are not started by the program: each
// request gets a thread context of its own, released when it is answered.
struct RequestContext {
    ThreadContext context;
    RequestContext() : context(thread_context_create()) { thread_context_set(&context); }
    ~RequestContext() {
        thread_context_set(0);
        thread_context_release(&context);
    }
};

static enum MHD_Result serve_request(void* context, struct MHD_Connection* connection, const char* url,
                                     const char* method, const char* version, const char* upload_data,
                                     size_t* upload_data_size, void** request_context) {
    (void)version;
    (void)upload_data;
    (void)request_context;
    Server* server = (Server*)context;
    String verb = string_from_cstr(method);
    if (!string_equal(verb, S("GET")) && !string_equal(verb, S("HEAD"))) {
        *upload_data_size = 0;
        return serve_text(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "405 Method Not Allowed\n");
    }
    RequestContext request;
    String path = string_from_cstr(url);
    if (string_equal(path, S(SERVE_EVENTS_PATH))) return serve_events(server, connection);
    return serve_file(server, connection, path);
}

Server* serve_start(String folder, u16 port) {
    Arena* arena = arena_create(MB(64), KB(64));
    Server* server = push_struct<Server>(arena);
    server->arena = arena;
    String real = os_real_path(arena, folder);
    if (real.size == 0) {
        console_print("Cannot serve %.*s: no such folder\n", STR_ARG(folder));
        arena_release(arena);
        return 0;
    }
    server->folder = string_format(arena, "%.*s/", STR_ARG(real));
    server->mutex = os_mutex_alloc();
    server->cv = os_condition_alloc();

    os_once(&g_mhd_once, serve_load_library);
    if (!g_mhd.loaded) {
        console_print("Cannot serve: libmicrohttpd could not be loaded\n");
        arena_release(arena);
        return 0;
    }
    OsSocket socket = OS_SOCKET_INVALID;
    u32 taken = port;
    for (u32 tries = 0; tries < SERVE_PORT_TRIES && taken <= 65535; tries += 1, taken += 1) {
        OsListenResult result;
        socket = os_listen_loopback((u16)taken, &result);
        if (socket != OS_SOCKET_INVALID || result != OS_LISTEN_IN_USE) break;
    }
    if (socket == OS_SOCKET_INVALID) {
        console_print("Cannot serve: no free port from %u\n", (unsigned)port);
        arena_release(arena);
        return 0;
    }
    if (taken != port) console_print("Port %u is in use, serving on port %u instead\n", (unsigned)port, taken);
    server->port = (u16)taken;
    // One thread per connection: an event stream's thread waits for the
    // next rebuild inside the content callback.
    server->daemon = MHD_start_daemon(MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                                          MHD_USE_POLL | MHD_USE_ITC,
                                      0, 0, 0, serve_request, server, MHD_OPTION_LISTEN_SOCKET, (MHD_socket)socket,
                                      MHD_OPTION_END);
    if (!server->daemon) {
        os_close_socket(socket);
        console_print("Cannot serve: the HTTP server did not start\n");
        arena_release(arena);
        return 0;
    }
    console_print("Serving %.*s at http://127.0.0.1:%u/ (pages reload when they change)\n", STR_ARG(folder), taken);
    console_flush();
    return server;
}

u16 serve_port(const Server* server) { return server ? server->port : 0; }

void serve_stop(Server* server) {
    if (!server) return;
    MHD_socket listening = MHD_quiesce_daemon(server->daemon);
    os_mutex_lock(server->mutex);
    server->stopping = true;
    os_mutex_unlock(server->mutex);
    os_condition_broadcast(server->cv);
    MHD_stop_daemon(server->daemon);
    if (listening != MHD_INVALID_SOCKET) os_close_socket((OsSocket)listening);
    server->daemon = 0;
}
