#include "driver/page_manifest.h"

#include <xxhash.h>

#include <string.h>

#include <algorithm>

#include "base/os.h"

static PageManifestEntry* manifest_find(PageManifest* m, String path, bool make) {
    u64 slot = string_hash(path) % PAGE_MANIFEST_SLOT_COUNT;
    for (PageManifestEntry* e = m->slots[slot]; e; e = e->next) {
        if (string_equal(e->path, path)) return e;
    }
    if (!make) return 0;
    PageManifestEntry* e = push_struct<PageManifestEntry>(m->arena);
    e->path = string_copy(m->arena, path);
    e->next = m->slots[slot];
    m->slots[slot] = e;
    m->count += 1;
    return e;
}

// Remembers the folder of `path`, whose listing will give the inode.
static void manifest_note_folder(PageManifest* m, String path) {
    u64 slash = string_find_last_byte(path, '/');
    if (slash >= path.size) return;
    String folder = string_prefix(path, slash);
    u64 slot = string_hash(folder) % PAGE_MANIFEST_SLOT_COUNT;
    for (PageManifestFolder* f = m->folders[slot]; f; f = f->next) {
        if (string_equal(f->path, folder)) return;
    }
    PageManifestFolder* f = push_struct<PageManifestFolder>(m->arena);
    f->path = string_copy(m->arena, folder);
    f->next = m->folders[slot];
    m->folders[slot] = f;
    // A second chain through every folder, for the listing.
    PageManifestFolder* all = push_struct<PageManifestFolder>(m->arena);
    all->path = f->path;
    all->next = m->folders_first;
    m->folders_first = all;
}

static u64 parse_number(String* line, int base) {
    u64 n = 0;
    u64 i = 0;
    for (; i < line->size; i += 1) {
        u8 c = line->str[i];
        u64 digit = c >= '0' && c <= '9' ? (u64)(c - '0') : (base == 16 && c >= 'a' && c <= 'f') ? (u64)(c - 'a' + 10) : 99;
        if (digit >= (u64)base) break;
        n = n * (u64)base + digit;
    }
    *line = string_skip(*line, i + 1);  // the number and the blank after it
    return n;
}

PageManifest* page_manifest_load(String root) {
    Arena* arena = arena_create(GB(1), KB(64));
    PageManifest* m = push_struct<PageManifest>(arena);
    m->arena = arena;
    m->root = string_copy(arena, root);
    m->slots = push_array<PageManifestEntry*>(arena, PAGE_MANIFEST_SLOT_COUNT);
    m->folders = push_array<PageManifestFolder*>(arena, PAGE_MANIFEST_SLOT_COUNT);
    Scratch scratch(arena);
    String path = string_format(scratch.arena, "%.*s" PAGE_MANIFEST_FILE_NAME, STR_ARG(root));
    String text = os_read_whole_file(scratch.arena, path);
    if (text.size == 0) {
        String html = string_format(scratch.arena, "%.*shtml", STR_ARG(root));
        m->fresh = !os_path_properties(html).exists;
        m->unknown = !m->fresh;
        return m;
    }
    // One line per page: "<size> <hash, hex> <inode> <path below the root>".
    StringList lines = string_split(scratch.arena, text, S("\n"), 0);
    for (StringNode* n = lines.first; n; n = n->next) {
        String line = n->string;
        u64 size = parse_number(&line, 10);
        u64 hash = parse_number(&line, 16);
        u64 inode = parse_number(&line, 10);
        if (line.size == 0) continue;
        String full = string_format(scratch.arena, "%.*s%.*s", STR_ARG(root), STR_ARG(line));
        PageManifestEntry* e = manifest_find(m, full, true);
        e->size = size;
        e->hash = hash;
        e->inode = inode;
    }
    return m;
}

bool page_manifest_write(PageManifest* m, String path, String text) {
    u64 hash = XXH3_64bits(text.str, text.size);
    PageManifestEntry* e = manifest_find(m, path, false);
    if (e && e->size == text.size && e->hash == hash && e->inode) {
        // The previous build wrote these bytes here: one stat tells whether
        // the file is still the one it left.
        OsFileProperties props = os_path_properties(path);
        if (props.is_regular && props.size == text.size && props.inode == e->inode) {
            e->seen = 1;
            return true;
        }
    }
    // A page the manifest does not know: with a manifest, or in a fresh
    // root, nothing is compared before writing. Otherwise the write itself
    // leaves a file alone that already holds the bytes.
    bool known_new = m->fresh || (!m->unknown && !e);
    if (!os_write_file_atomic(path, text, known_new ? (u32)OS_WRITE_NEW : 0u)) return false;
    if (!e) e = manifest_find(m, path, true);
    e->size = text.size;
    e->hash = hash;
    e->inode = 0;
    e->seen = 1;
    manifest_note_folder(m, path);
    return true;
}

static bool entry_before(const PageManifestEntry* a, const PageManifestEntry* b) {
    u64 n = MIN(a->path.size, b->path.size);
    int c = memcmp(a->path.str, b->path.str, n);
    return c != 0 ? c < 0 : a->path.size < b->path.size;
}

void page_manifest_save(PageManifest* m) {
    Scratch scratch(m->arena);
    for (PageManifestFolder* f = m->folders_first; f; f = f->next) {
        // One folder's listing at a time.
        Scratch folder_scratch(m->arena);
        u64 count = 0;
        OsDirName* names = os_dir_names(folder_scratch.arena, f->path, &count);
        for (u64 i = 0; i < count; i += 1) {
            Scratch name_scratch(m->arena);
            String full = string_format(name_scratch.arena, "%.*s/%.*s", STR_ARG(f->path), STR_ARG(names[i].name));
            PageManifestEntry* e = manifest_find(m, full, false);
            if (e && e->seen && e->inode == 0) e->inode = names[i].inode;
        }
    }
    PageManifestEntry** entries = push_array_no_zero<PageManifestEntry*>(scratch.arena, MAX(m->count, 1ull));
    u64 count = 0;
    for (u64 slot = 0; slot < PAGE_MANIFEST_SLOT_COUNT; slot += 1) {
        for (PageManifestEntry* e = m->slots[slot]; e; e = e->next) {
            if (e->seen && e->inode && string_starts_with(e->path, m->root, 0)) entries[count++] = e;
        }
    }
    std::sort(entries, entries + count, entry_before);
    // Written line by line: the text of a large site is never whole in memory.
    String path = string_format(scratch.arena, "%.*s" PAGE_MANIFEST_FILE_NAME, STR_ARG(m->root));
    OsFileStream stream;
    os_stream_begin(scratch.arena, &stream, path);
    for (u64 i = 0; i < count; i += 1) {
        Scratch line_scratch(m->arena);
        String relative = string_skip(entries[i]->path, m->root.size);
        String line = string_format(line_scratch.arena, "%llu %llx %llu %.*s\n", (unsigned long long)entries[i]->size,
                                    (unsigned long long)entries[i]->hash, (unsigned long long)entries[i]->inode,
                                    STR_ARG(relative));
        os_stream_write(&stream, line);
    }
    os_stream_end(&stream);
    // The root has pages now: a later write through this manifest (watch
    // mode) is no longer the first one at its path.
    m->fresh = false;
}
