#include <gtest/gtest.h>

#include <string>

#include "base/url.h"
#include "support/strings.h"

namespace {

using kavsite_test::str;

TEST(UrlSplit, Parts) {
    struct Case {
        const char* url;
        const char* scheme;
        const char* host;
        const char* port;
        const char* path;
        bool external;
    } cases[] = {
        {"https://example.com/a/b", "https://", "example.com", "", "/a/b", true},
        {"https://example.com/a/b/", "https://", "example.com", "", "/a/b", true},
        {"https://example.com:8443/x", "https://", "example.com", "8443/x", "/x", true},
        {"https://example.com", "https://", "example.com", "", "", true},
        {"http://localhost/x", "http://", "localhost", "", "/x", false},
        {"/img/a.jpg", "", "", "", "/img/a.jpg", false},
        {"docs/page.html", "", "docs", "", "/page.html", false},
        {"", "", "", "", "", false},
        // The trailing "/" goes first, so a bare scheme loses its "://".
        {"https://", "", "https", "/", "/", false},
        // Without a "/" the host runs to the end, colon included.
        {"mailto:me@example.com", "", "mailto:me@example.com", "me@example.com", "", false},
    };
    for (const Case& c : cases) {
        UrlParts p = url_split(string_from_cstr(c.url));
        EXPECT_EQ(str(p.scheme), c.scheme) << c.url;
        EXPECT_EQ(str(p.host), c.host) << c.url;
        EXPECT_EQ(str(p.port), c.port) << c.url;
        EXPECT_EQ(str(p.path), c.path) << c.url;
        EXPECT_EQ(url_is_external(p), c.external) << c.url;
    }
}

TEST(UrlSplit, SameIgnoringWww) {
    auto same = [](const char* a, const char* b) {
        return url_same_ignoring_www(url_split(string_from_cstr(a)), url_split(string_from_cstr(b)));
    };
    EXPECT_TRUE(same("https://www.example.com/p", "https://example.com/p"));
    EXPECT_TRUE(same("https://example.com/p/", "https://www.example.com/p"));
    EXPECT_FALSE(same("https://www.example.com/p", "https://example.org/p"));
    EXPECT_FALSE(same("https://example.com/p", "https://example.com/q"));
    EXPECT_FALSE(same("http://example.com/p", "https://example.com/p"));
}

}  // namespace
