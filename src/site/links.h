// Link and path resolution: every link written into a page or shared file
// that points into the site passes through resolve_link. With deploy on a
// link is site-absolute without "html/"; with deploy off it is a "file://"
// URL into the site directory on disk.
#pragma once

#include "base/arena.h"
#include "base/string.h"

enum PathForm : u32 {
    PATH_FORM_RELATIVE = 0,
    PATH_FORM_DRIVE = 1,   // absolute on the file system: "C:/..." or under the site root
    PATH_FORM_ROOTED = 2,  // begins with "/": relative to the site's html directory
};

// The form of `path` for a site `root` (platform rules: on Linux a path that
// begins with the root is in drive form; any other "/" path is rooted).
PathForm path_form(String path, String root);

// The link to write for `path` in a site at `root`, built with or without
// `deploy`.
String resolve_link(Arena* arena, String path, String root, u32 deploy);

// `path` brought into `wanted` form relative to the site root.
String convert_path(Arena* arena, String path, PathForm wanted, String root);

// Components of `path` joined with `root` in the wanted form; callers join
// them with "/".
StringList join_with_root(Arena* arena, String root, String path, PathForm wanted);
