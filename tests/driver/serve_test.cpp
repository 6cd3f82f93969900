// The preview server's pure parts: the port option, what a request path
// names under the served folder, the reload script's place in a page, and
// the text of a change event.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/entry.h"
#include "base/os.h"
#include "driver/serve.h"
#include "support/files.h"
#include "support/strings.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::str;
using kavsite_test::TempDir;
using kavsite_test::write_file;

TEST(ServeOptions, PortValues) {
    struct Case {
        std::vector<std::string> args;
        bool requested;
        u16 port;
    };
    const Case cases[] = {
        {{"watch"}, false, SERVE_DEFAULT_PORT},
        {{"serve"}, true, SERVE_DEFAULT_PORT},
        {{"--serve=true"}, true, SERVE_DEFAULT_PORT},
        {{"serve=1"}, true, SERVE_DEFAULT_PORT},  // "1" turns a switch on
        {{"serve=9000"}, true, 9000},
        {{"serve:65535"}, true, 65535},
        {{"serve=65536"}, true, 0},
        {{"serve=0"}, true, 0},
        {{"serve=80x"}, true, 0},
        {{"serve=-5"}, true, 0},
        {{"serve=123456"}, true, 0},
    };
    for (const Case& c : cases) {
        Arena* arena = arena_create(MB(1), KB(4));
        StringList args = {};
        for (const std::string& a : c.args) string_list_push(arena, &args, string_copy(arena, from(a)));
        OptionTable options = options_parse(arena, args);
        EXPECT_EQ(serve_requested(&options), c.requested) << c.args[0];
        if (c.requested) {
            EXPECT_EQ(serve_port_option(&options), c.port) << c.args[0];
        }
        arena_release(arena);
    }
}

struct ServeResolveTest : ::testing::Test {
    Arena* arena = arena_create(MB(8), KB(4));
    TempDir temp;
    fs::path dir = temp.path;
    std::string html;  // real path ending in "/"
    void SetUp() override {
        os_init();
        html = (dir / "html").string() + "/";
        write_file(dir / "html/index.html", "home");
        write_file(dir / "html/notes/a b.html", "a");
        write_file(dir / "html/notes/index.html", "notes");
        write_file(dir / "secret.txt", "s");
        fs::create_directories(dir / "html/empty");
        fs::create_symlink(dir, dir / "html/up");
        fs::create_symlink(dir / "html/notes", dir / "html/alias");
    }
    void TearDown() override { arena_release(arena); }
};

TEST_F(ServeResolveTest, WhatRequestPathsName) {
    struct Case {
        std::string url;
        ServeTarget target;
        std::string file;  // under the folder, for SERVE_FILE
    };
    const Case cases[] = {
        {"/", SERVE_FILE, "index.html"},
        {"/index.html", SERVE_FILE, "index.html"},
        {"/./index.html", SERVE_FILE, "index.html"},
        {"//notes//a b.html", SERVE_FILE, "notes/a b.html"},
        {"/notes/", SERVE_FILE, "notes/index.html"},
        {"/notes", SERVE_REDIRECT, ""},
        {"/alias/a b.html", SERVE_FILE, "notes/a b.html"},  // a link that stays inside
        {"/empty/", SERVE_NOT_FOUND, ""},
        {"/missing.html", SERVE_NOT_FOUND, ""},
        {"/../secret.txt", SERVE_NOT_FOUND, ""},
        {"/notes/../index.html", SERVE_NOT_FOUND, ""},
        {"/..", SERVE_NOT_FOUND, ""},
        {"/up/secret.txt", SERVE_NOT_FOUND, ""},
        {"/up/html/index.html", SERVE_FILE, "index.html"},  // out and back in: inside
        {"/up", SERVE_NOT_FOUND, ""},
        {"/notes\\..\\..\\secret.txt", SERVE_NOT_FOUND, ""},
        {std::string("/index.html\0.png", 16), SERVE_NOT_FOUND, ""},
        {"index.html", SERVE_NOT_FOUND, ""},
        {"", SERVE_NOT_FOUND, ""},
    };
    for (const Case& c : cases) {
        ServeResolved r = serve_resolve(arena, from(html), from(c.url));
        EXPECT_EQ(r.target, c.target) << c.url;
        if (c.target == SERVE_FILE) {
            EXPECT_EQ(str(r.path), html + c.file) << c.url;
        }
    }
}

TEST(ServeTexts, ContentTypes) {
    const char* const cases[][2] = {
        {"/a/b.html", "text/html; charset=utf-8"}, {"x.CSS", "text/css; charset=utf-8"},
        {"x.js", "text/javascript; charset=utf-8"}, {"x.svg", "image/svg+xml"},
        {"x.png", "image/png"}, {"x.Jpg", "image/jpeg"}, {"x.jpeg", "image/jpeg"},
        {"x.woff2", "font/woff2"}, {"x.ico", "image/x-icon"}, {"x.txt", "text/plain; charset=utf-8"},
        {"x", "application/octet-stream"}, {"x.tar.gz", "application/octet-stream"},
        {"dir.html/x", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(str(serve_content_type(from(c[0]))), c[1]) << c[0];
}

TEST(ServeTexts, ReloadScriptGoesBeforeTheLastBodyEnd) {
    Arena* arena = arena_create(MB(1), KB(4));
    struct Case {
        std::string page;
        std::string before;  // the page up to the script
        std::string after;   // the page after it
    };
    const Case cases[] = {
        {"<html><body>x</body></html>", "<html><body>x", "</body></html>"},
        {"<BODY>a</Body >", "<BODY>a", "</Body >"},
        {"<pre></body></pre></body>", "<pre></body></pre>", "</body>"},  // the last one
        {"no body here", "no body here", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string out = str(serve_inject_reload(arena, from(c.page)));
        size_t start = out.find("<script>");
        ASSERT_NE(start, std::string::npos) << c.page;
        size_t end = out.find("</script>", start) + 9;
        EXPECT_EQ(out.substr(0, start), c.before) << c.page;
        EXPECT_EQ(out.substr(end), c.after) << c.page;
        EXPECT_NE(out.find(SERVE_EVENTS_PATH), std::string::npos);
    }
    arena_release(arena);
}

TEST(ServeTexts, EventJson) {
    Arena* arena = arena_create(MB(1), KB(4));
    StringList pages = {};
    string_list_push(arena, &pages, S("/notes/a.html"));
    string_list_push(arena, &pages, S("/q\"uote\\back\x01.html"));
    EXPECT_EQ(str(serve_event_json(arena, 7, false, true, &pages)),
              "{\"number\":7,\"all\":false,\"css\":true,\"pages\":[\"/notes/a.html\","
              "\"/q\\\"uote\\\\back\\u0001.html\"]}");
    // Every page: no list.
    EXPECT_EQ(str(serve_event_json(arena, 8, true, false, &pages)),
              "{\"number\":8,\"all\":true,\"css\":false,\"pages\":[]}");
    EXPECT_EQ(str(serve_event_json(arena, 9, false, false, 0)),
              "{\"number\":9,\"all\":false,\"css\":false,\"pages\":[]}");
    arena_release(arena);
}

}  // namespace
