#include "driver/page_manifest.h"

#include <xxhash.h>

#include <string.h>

#include <algorithm>

#include "base/os.h"

// The folder of `path` (up to and with its last "/"), made when missing.
static PageManifestFolder* manifest_folder(PageManifest* m, String folder) {
    u64 slot = string_hash(folder) % PAGE_MANIFEST_SLOT_COUNT;
    for (PageManifestFolder* f = m->folders[slot]; f; f = f->next) {
        if (string_equal(f->path, folder)) return f;
    }
    PageManifestFolder* f = push_struct<PageManifestFolder>(m->arena);
    f->path = string_copy(m->arena, folder);
    f->next = m->folders[slot];
    m->folders[slot] = f;
    return f;
}

static u64 manifest_slot(const PageManifestFolder* folder, String name) {
    return (string_hash(name) ^ ((u64)folder * 0x9E3779B97F4A7C15ull)) % PAGE_MANIFEST_SLOT_COUNT;
}

static PageManifestEntry* manifest_find(PageManifest* m, String path, bool make) {
    u64 slash = string_find_last_byte(path, '/');
    if (slash >= path.size) return 0;  // pages have absolute paths
    String folder_path = string_prefix(path, slash + 1);
    String name = string_skip(path, slash + 1);
    PageManifestFolder* folder = 0;
    if (make) {
        folder = manifest_folder(m, folder_path);
    } else {
        u64 fslot = string_hash(folder_path) % PAGE_MANIFEST_SLOT_COUNT;
        for (PageManifestFolder* f = m->folders[fslot]; f && !folder; f = f->next) {
            if (string_equal(f->path, folder_path)) folder = f;
        }
        if (!folder) return 0;
    }
    u64 slot = manifest_slot(folder, name);
    for (PageManifestEntry* e = m->slots[slot]; e; e = e->next) {
        if (e->folder == folder && string_equal(String{(u8*)e->name, e->name_size}, name)) return e;
    }
    if (!make) return 0;
    PageManifestEntry* e = push_struct<PageManifestEntry>(m->arena);
    String copy = string_copy(m->arena, name);
    e->folder = folder;
    e->name = copy.str;
    e->name_size = (u32)copy.size;
    e->next = m->slots[slot];
    m->slots[slot] = e;
    m->count += 1;
    return e;
}

// Remembers that this build wrote into the folder of `e`: its listing will
// give the inode.
static void manifest_note_folder(PageManifest* m, PageManifestEntry* e) {
    PageManifestFolder* f = e->folder;
    if (f->written) return;
    f->written = 1;
    f->next_written = m->written_first;
    m->written_first = f;
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
        Scratch line_scratch(arena);
        String full = string_format(line_scratch.arena, "%.*s%.*s", STR_ARG(root), STR_ARG(line));
        PageManifestEntry* e = manifest_find(m, full, true);
        if (!e) continue;
        e->size = size;
        e->hash = hash;
        e->inode = inode;
    }
    return m;
}

bool page_manifest_write(PageManifest* m, String path, String text) {
    OsFileWrite page = {path, text, 0, false};
    page_manifest_write_many(m, &page, 1);
    return page.ok;
}

void page_manifest_write_many(PageManifest* m, OsFileWrite* pages, u64 count) {
    Scratch scratch(m->arena);
    PageManifestEntry** entries = push_array<PageManifestEntry*>(scratch.arena, count);
    u64* hashes = push_array_no_zero<u64>(scratch.arena, count);
    String* stat_paths = push_array_no_zero<String>(scratch.arena, count);
    u64* stat_pages = push_array_no_zero<u64>(scratch.arena, count);
    u64 stats = 0;
    for (u64 i = 0; i < count; i += 1) {
        hashes[i] = XXH3_64bits(pages[i].data.str, pages[i].data.size);
        PageManifestEntry* e = manifest_find(m, pages[i].path, false);
        entries[i] = e;
        pages[i].ok = false;
        // The previous build wrote these bytes here: one stat tells whether
        // the file is still the one it left.
        if (e && e->size == pages[i].data.size && e->hash == hashes[i] && e->inode) {
            stat_paths[stats] = pages[i].path;
            stat_pages[stats++] = i;
        }
    }
    OsFileProperties* props = push_array<OsFileProperties>(scratch.arena, stats);
    os_path_properties_many(stat_paths, props, stats);
    for (u64 s = 0; s < stats; s += 1) {
        u64 i = stat_pages[s];
        if (props[s].is_regular && props[s].size == pages[i].data.size && props[s].inode == entries[i]->inode) {
            entries[i]->seen = 1;
            pages[i].ok = true;
        }
    }

    OsFileWrite* writes = push_array<OsFileWrite>(scratch.arena, count);
    u64* write_pages = push_array_no_zero<u64>(scratch.arena, count);
    u64 write_count = 0;
    for (u64 i = 0; i < count; i += 1) {
        if (pages[i].ok) continue;
        // A page the manifest does not know: with a manifest, or in a fresh
        // root, nothing is compared before writing. Otherwise the write itself
        // leaves a file alone that already holds the bytes.
        bool known_new = m->fresh || (!m->unknown && !entries[i]);
        writes[write_count] = OsFileWrite{pages[i].path, pages[i].data, known_new ? (u32)OS_WRITE_NEW : 0u, false};
        write_pages[write_count++] = i;
    }
    os_write_files_atomic(writes, write_count);
    for (u64 k = 0; k < write_count; k += 1) {
        u64 i = write_pages[k];
        pages[i].ok = writes[k].ok;
        if (!writes[k].ok) continue;
        PageManifestEntry* e = entries[i] ? entries[i] : manifest_find(m, pages[i].path, true);
        if (!e) continue;  // not a path the manifest can hold
        e->size = pages[i].data.size;
        e->hash = hashes[i];
        e->inode = 0;
        e->seen = 1;
        manifest_note_folder(m, e);
    }
}

// Byte order of the entries' whole paths, folder and name read as one.
static bool entry_before(const PageManifestEntry* a, const PageManifestEntry* b) {
    String a_parts[2] = {a->folder->path, String{(u8*)a->name, a->name_size}};
    String b_parts[2] = {b->folder->path, String{(u8*)b->name, b->name_size}};
    u64 ai = 0, bi = 0;  // part
    u64 ao = 0, bo = 0;  // offset in the part
    for (;;) {
        while (ai < 2 && ao == a_parts[ai].size) ai += 1, ao = 0;
        while (bi < 2 && bo == b_parts[bi].size) bi += 1, bo = 0;
        if (ai == 2 || bi == 2) return ai == 2 && bi != 2;
        u64 n = MIN(a_parts[ai].size - ao, b_parts[bi].size - bo);
        int c = memcmp(a_parts[ai].str + ao, b_parts[bi].str + bo, n);
        if (c != 0) return c < 0;
        ao += n;
        bo += n;
    }
}

void page_manifest_save(PageManifest* m) {
    Scratch scratch(m->arena);
    for (PageManifestFolder* f = m->written_first; f; f = f->next_written) {
        // One folder's listing at a time.
        Scratch folder_scratch(m->arena);
        u64 count = 0;
        OsDirName* names = os_dir_names(folder_scratch.arena, f->path, &count);
        for (u64 i = 0; i < count; i += 1) {
            u64 slot = manifest_slot(f, names[i].name);
            for (PageManifestEntry* e = m->slots[slot]; e; e = e->next) {
                if (e->folder != f || !string_equal(String{(u8*)e->name, e->name_size}, names[i].name)) continue;
                if (e->seen && e->inode == 0) e->inode = names[i].inode;
                break;
            }
        }
    }
    PageManifestEntry** entries = push_array_no_zero<PageManifestEntry*>(scratch.arena, MAX(m->count, 1ull));
    u64 count = 0;
    for (u64 slot = 0; slot < PAGE_MANIFEST_SLOT_COUNT; slot += 1) {
        for (PageManifestEntry* e = m->slots[slot]; e; e = e->next) {
            if (e->seen && e->inode && string_starts_with(e->folder->path, m->root, 0)) entries[count++] = e;
        }
    }
    std::sort(entries, entries + count, entry_before);
    // Written line by line: the text of a large site is never whole in memory.
    String path = string_format(scratch.arena, "%.*s" PAGE_MANIFEST_FILE_NAME, STR_ARG(m->root));
    OsFileStream stream;
    os_stream_begin(scratch.arena, &stream, path);
    for (u64 i = 0; i < count; i += 1) {
        Scratch line_scratch(m->arena);
        const PageManifestEntry* e = entries[i];
        String folder = string_skip(e->folder->path, m->root.size);
        String line = string_format(line_scratch.arena, "%llu %llx %llu %.*s%.*s\n", (unsigned long long)e->size,
                                    (unsigned long long)e->hash, (unsigned long long)e->inode, STR_ARG(folder),
                                    (int)e->name_size, e->name);
        os_stream_write(&stream, line);
    }
    os_stream_end(&stream);
    // The root has pages now: a later write through this manifest (watch
    // mode) is no longer the first one at its path.
    m->fresh = false;
}
