// Where the build may write pages: only below the site root, whatever the
// path says.
#include <gtest/gtest.h>

#include "driver/build_state.h"

namespace {

TEST(PagePaths, OnlyBelowTheSiteRoot) {
    struct Case {
        const char* path;
        const char* root;
        bool inside;
    };
    const Case cases[] = {
        {"/srv/site/html/a.html", "/srv/site/", true},
        {"/srv/site/html/notes/../a.html", "/srv/site/", true},
        {"/srv/site/html/../../outside.html", "/srv/site/", false},
        {"/srv/site/./html/./a.html", "/srv/site/", true},
        {"/srv/sitex/html/a.html", "/srv/site/", false},
        {"/srv/site/", "/srv/site/", false},
        {"/srv/site", "/srv/site/", false},
        {"/html/a.html", "", false},
        {"/etc/passwd.html", "/srv/site/", false},
        {"C:/site/html/a.html", "C:/site/", true},
        {"C:/site/../x.html", "C:/site/", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(build_path_inside_root(string_from_cstr(c.path), string_from_cstr(c.root)), c.inside) << c.path;
    }
}

}  // namespace
