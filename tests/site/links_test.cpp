#include <gtest/gtest.h>

#include <string>

#include "site/links.h"
#include "support/strings.h"

namespace {

using kavsite_test::str;

struct Links : ::testing::Test {
    Arena* arena = arena_create(MB(16), KB(64));
    ~Links() override { arena_release(arena); }
    std::string resolve(const char* path, const char* root, u32 deploy) {
        return str(resolve_link(arena, string_from_cstr(path), string_from_cstr(root), deploy));
    }
    std::string convert(const char* path, PathForm form, const char* root) {
        return str(convert_path(arena, string_from_cstr(path), form, string_from_cstr(root)));
    }
};

TEST_F(Links, ResolveBothRootKindsDeployOnAndOff) {
    struct Case {
        const char* path;
        const char* windows_local;  // root C:/site/
        const char* linux_local;    // root /srv/site/
        const char* deployed;       // either root
    } cases[] = {
        {"notes/a.html", "file:///C:/site/html/notes/a.html", "file:///srv/site/html/notes/a.html", "/notes/a.html"},
        {"html/notes/a.html", "file:///C:/site/html/notes/a.html", "file:///srv/site/html/notes/a.html",
         "/notes/a.html"},
        {"/shared/javascript/website/website_shared.min.js",
         "file:///C:/site/html/shared/javascript/website/website_shared.min.js",
         "file:///srv/site/html/shared/javascript/website/website_shared.min.js",
         "/shared/javascript/website/website_shared.min.js"},
        {"./img/a.jpg", "file:///C:/site/html/img/a.jpg", "file:///srv/site/html/img/a.jpg", "/img/a.jpg"},
        // Leading digits and "_" are part of the name.
        {"2024/post.html", "file:///C:/site/html/2024/post.html", "file:///srv/site/html/2024/post.html",
         "/2024/post.html"},
        {"_assets/a.css", "file:///C:/site/html/_assets/a.css", "file:///srv/site/html/_assets/a.css",
         "/_assets/a.css"},
        // Backslashes come out as "/".
        {"notes\\b\\c.html", "file:///C:/site/html/notes/b/c.html", "file:///srv/site/html/notes/b/c.html",
         "/notes/b/c.html"},
        // Only the html directory itself is dropped for deployment.
        {"notes/xhtml/a.html", "file:///C:/site/html/notes/xhtml/a.html",
         "file:///srv/site/html/notes/xhtml/a.html", "/notes/xhtml/a.html"},
        {"...", "file:///C:/site/html/", "file:///srv/site/html/", "/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolve(c.path, "C:/site/", 0), c.windows_local) << c.path;
        EXPECT_EQ(resolve(c.path, "/srv/site/", 0), c.linux_local) << c.path;
        EXPECT_EQ(resolve(c.path, "C:/site/", 1), c.deployed) << c.path;
        EXPECT_EQ(resolve(c.path, "/srv/site/", 1), c.deployed) << c.path;
    }
    EXPECT_EQ(resolve("", "/srv/site/", 0), "");
}

TEST_F(Links, ResolvingALocalLinkAgainGivesTheSameLink) {
    for (const char* root : {"C:/site/", "/srv/site/", "c:/SITE/"}) {
        std::string once = resolve("notes/a.html", root, 0);
        EXPECT_EQ(resolve(once.c_str(), root, 0), once) << root;
        // An absolute path under the root loses the root.
        std::string absolute = std::string(root) + "html/img/x.png";
        EXPECT_EQ(resolve(absolute.c_str(), root, 1), "/img/x.png") << root;
    }
    // Root comparison ignores ASCII case.
    EXPECT_EQ(resolve("C:/SITE/html/a.html", "c:/site/", 0), "file:///c:/site/html/a.html");
}

TEST_F(Links, ConvertPathToAbsoluteForm) {
    struct Case {
        const char* path;
        const char* root;
        const char* want;
    } cases[] = {
        {"notes/a.html", "/srv/site/", "/srv/site/html/notes/a.html"},
        {"/img/a.jpg", "/srv/site/", "/srv/site/html/img/a.jpg"},
        {"/srv/site/html/img/a.jpg", "/srv/site/", "/srv/site/html/img/a.jpg"},
        {"html/img/a.jpg", "/srv/site/", "/srv/site/html/img/a.jpg"},
        {"notes/a.html", "C:/site/", "C:/site/html/notes/a.html"},
        {"C:/site/html/x.png", "C:/site/", "C:/site/html/x.png"},
        {" img\\a.jpg ", "C:/site/", "C:/site/html/img/a.jpg"},
        {"", "C:/site/", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(convert(c.path, PATH_FORM_DRIVE, c.root), c.want) << c.path;
}

TEST_F(Links, ConvertPathToRootedForm) {
    EXPECT_EQ(convert("C:/site/html/x.png", PATH_FORM_ROOTED, "C:/site/"), "/html/x.png");
    EXPECT_EQ(convert("/srv/site/html/x.png", PATH_FORM_ROOTED, "/srv/site/"), "/html/x.png");
    EXPECT_EQ(convert("/img/a.jpg", PATH_FORM_ROOTED, "/srv/site/"), "/img/a.jpg");
    EXPECT_EQ(convert("img/a.jpg", PATH_FORM_ROOTED, "/srv/site/"), "/html/img/a.jpg");
}

TEST_F(Links, FormsAndJoin) {
    String linux_root = S("/srv/site/");
    EXPECT_EQ(path_form(S("/srv/site/html/a"), linux_root), PATH_FORM_DRIVE);
    EXPECT_EQ(path_form(S("/etc/a"), linux_root), PATH_FORM_ROOTED);
    EXPECT_EQ(path_form(S("C:/x"), linux_root), PATH_FORM_DRIVE);
    EXPECT_EQ(path_form(S("x/y"), linux_root), PATH_FORM_RELATIVE);
    EXPECT_EQ(join_with_root(arena, linux_root, S("a/b"), PATH_FORM_ROOTED).node_count, 0u);
    StringList parts = join_with_root(arena, S("C:/site/"), S("/html/a.html"), PATH_FORM_DRIVE);
    ASSERT_EQ(parts.node_count, 2u);
    EXPECT_EQ(str(parts.first->string), "C:/site");
    EXPECT_EQ(str(parts.last->string), "html/a.html");
}

}  // namespace
