#include "site/links.h"

// Leading characters a link loses before it is placed under the site: dots,
// separators and blanks ("./img/a.jpg" is "img/a.jpg"). Digits and "_" stay.
static String links_drop_leading(String s) {
    u64 i = 0;
    while (i < s.size && (s.str[i] == '.' || char_is_slash(s.str[i]) || char_is_whitespace(s.str[i]))) i += 1;
    return string_skip(s, i);
}

static String links_without_trailing_slash(String s) {
    if (s.size && char_is_slash(s.str[s.size - 1])) return string_chop(s, 1);
    return s;
}

static bool links_begins_with_root(String path, String root) {
    return root.size && string_starts_with(path, root, MATCH_CASE_INSENSITIVE | MATCH_SLASH_INSENSITIVE);
}

// True when `path` names the html directory itself or something below it.
static bool links_in_html_directory(String rooted) {
    return string_starts_with(rooted, S("/html/"), MATCH_SLASH_INSENSITIVE) ||
           string_match(rooted, S("/html"), MATCH_SLASH_INSENSITIVE);
}

static String links_slashes_forward(Arena* arena, String s) {
    if (string_find_byte(s, '\\', 0) == s.size) return s;
    return string_replace_all(arena, s, S("\\"), S("/"), 0);
}

PathForm path_form(String path, String root) {
    if (path_kind(path) == 1) return PATH_FORM_DRIVE;
    if (links_begins_with_root(path, root)) return PATH_FORM_DRIVE;
    if (path.size && path.str[0] == '/') return PATH_FORM_ROOTED;
    return PATH_FORM_RELATIVE;
}

StringList join_with_root(Arena* arena, String root, String path, PathForm wanted) {
    StringList result = {};
    PathForm form = path_form(path, root);
    if (form == wanted) return path_split(arena, path);
    if (wanted == PATH_FORM_DRIVE && form == PATH_FORM_ROOTED) {
        string_list_push(arena, &result, links_without_trailing_slash(root));
        string_list_push(arena, &result, string_skip(path, 1));
        return result;
    }
    if (wanted == PATH_FORM_ROOTED && form == PATH_FORM_DRIVE) {
        if (!links_begins_with_root(path, root)) return result;
        String rest = string_skip(path, root.size);
        // The root ends with a separator, so the rest is relative: the empty
        // first component makes the joined path begin with "/".
        if (!(rest.size && char_is_slash(rest.str[0]))) string_list_push(arena, &result, String{});
        StringList parts = path_split(arena, rest);
        for (StringNode* n = parts.first; n; n = n->next) string_list_push(arena, &result, n->string);
        return result;
    }
    return result;
}

// A rooted path placed in the site's html directory (unless it already is)
// and joined with the root in the wanted form.
static String links_join_under_html(Arena* arena, String root, String rooted, PathForm wanted) {
    if (!links_in_html_directory(rooted)) {
        String rest = string_skip(rooted, 1);
        rooted = string_format(arena, "/html/%.*s", STR_ARG(rest));
    }
    StringList parts = join_with_root(arena, root, rooted, wanted);
    StringJoin join = {String{}, S("/"), String{}};
    return string_list_join(arena, &parts, &join);
}

String resolve_link(Arena* arena, String path, String root, u32 deploy) {
    if (path.size == 0) return String{};
    Scratch scratch(arena);
    String text = string_replace_all(scratch.arena, path, S("file:///"), String{}, 0);
    text = links_drop_leading(text);
    String bare_root = links_drop_leading(root);
    if (links_begins_with_root(text, bare_root)) text = string_skip(text, bare_root.size);
    if (!(text.size && text.str[0] == '/')) text = string_format(scratch.arena, "/%.*s", STR_ARG(text));

    if (deploy) {
        // The server's document root is the html directory.
        if (links_in_html_directory(text)) text = string_skip(text, 5);
        if (text.size == 0) text = S("/");
        return links_slashes_forward(arena, string_copy(arena, text));
    }

    String joined = links_join_under_html(scratch.arena, root, text, PATH_FORM_DRIVE);
    // "file://" and the absolute path: a Linux root brings its own "/".
    String link = (joined.size && joined.str[0] == '/') ? string_format(scratch.arena, "file://%.*s", STR_ARG(joined))
                                                        : string_format(scratch.arena, "file:///%.*s", STR_ARG(joined));
    return links_slashes_forward(arena, string_copy(arena, link));
}

String convert_path(Arena* arena, String path, PathForm wanted, String root) {
    if (path.size == 0 || path_form(path, root) == wanted) return path;
    Scratch scratch(arena);
    String text = string_trim_whitespace(path);
    if (links_begins_with_root(text, root)) text = string_skip(text, root.size);
    if (!(text.size && char_is_slash(text.str[0]))) text = string_format(scratch.arena, "/%.*s", STR_ARG(text));
    String joined = links_join_under_html(scratch.arena, root, text, wanted);
    return links_slashes_forward(arena, string_copy(arena, joined));
}
