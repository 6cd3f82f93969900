#include "site/theme_files.h"

#include "base/os.h"

// ---- Files -------------------------------------------------------------------------

const ThemeFile* theme_file_find(String path) {
    for (u64 i = 0; i < theme_file_count; i += 1) {
        if (string_equal(theme_files[i].path, path)) return &theme_files[i];
    }
    return 0;
}

u64 theme_write_missing_files(Arena* arena, String root, u64* failures) {
    Scratch scratch(arena);
    u64 written = 0;
    for (u64 i = 0; i < theme_file_count; i += 1) {
        const ThemeFile* file = &theme_files[i];
        String path = string_format(scratch.arena, "%.*s%.*s", STR_ARG(root), STR_ARG(file->path));
        // Anything at the path (a file, a folder, a link) belongs to the site.
        if (os_path_properties(path).exists) continue;
        if (os_write_file_atomic(path, file->bytes)) {
            written += 1;
        } else {
            console_print("\tFaiLure: %.*s\n", STR_ARG(path));
            if (failures) *failures += 1;
        }
    }
    return written;
}

// ---- Script ------------------------------------------------------------------------

bool theme_warn_missing_script(Arena* arena, String root, u32 js, u32 dev_js) {
    if (!js && !dev_js) return false;
    Scratch scratch(arena);
    String path =
        string_format(scratch.arena, "%.*s%s", STR_ARG(root), dev_js ? THEME_DEV_SCRIPT_PATH : THEME_SCRIPT_PATH);
    if (os_path_properties(path).is_regular) return false;
    console_print("warning: every page loads the script \"%.*s\", which does not exist\n", STR_ARG(path));
    return true;
}
