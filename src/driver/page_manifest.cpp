#include "driver/page_manifest.h"

#include <xxhash.h>

#include <string.h>

#include <algorithm>

#include "base/os.h"

#define PAGE_MANIFEST_CHUNK_SIZE (1ull << PAGE_MANIFEST_CHUNK_SHIFT)

static PageManifestEntry* manifest_entry(const PageManifest* m, u64 index) {
    return &m->chunks[index >> PAGE_MANIFEST_CHUNK_SHIFT][index & (PAGE_MANIFEST_CHUNK_SIZE - 1)];
}

// A new zeroed entry; its index in `*index`.
static PageManifestEntry* manifest_new_entry(PageManifest* m, u64* index) {
    u64 chunk = m->count >> PAGE_MANIFEST_CHUNK_SHIFT;
    if (chunk == m->chunk_capacity) {
        u64 capacity = m->chunk_capacity ? m->chunk_capacity * 2 : 64;
        PageManifestEntry** grown = push_array<PageManifestEntry*>(m->arena, capacity);
        for (u64 i = 0; i < m->chunk_capacity; i += 1) grown[i] = m->chunks[i];
        m->chunks = grown;
        m->chunk_capacity = capacity;
    }
    if (!m->chunks[chunk]) m->chunks[chunk] = push_array<PageManifestEntry>(m->arena, PAGE_MANIFEST_CHUNK_SIZE);
    *index = m->count++;
    return manifest_entry(m, *index);
}

static u64 manifest_slot(u32 folder, u64 name_hash) {
    return (name_hash ^ ((u64)(folder + 1) * 0x9E3779B97F4A7C15ull)) % PAGE_MANIFEST_SLOT_COUNT;
}

static PageManifestEntry* manifest_lookup(const PageManifest* m, u32 folder, u64 name_hash) {
    for (u32 i = m->slots[manifest_slot(folder, name_hash)]; i; i = manifest_entry(m, i)->next) {
        PageManifestEntry* e = manifest_entry(m, i);
        if (e->folder == folder && e->name_hash == name_hash) return e;
    }
    return 0;
}

static PageManifestEntry* manifest_find(PageManifest* m, String path, bool make) {
    u64 slash = string_find_last_byte(path, '/');
    if (slash >= path.size) return 0;  // pages have absolute paths
    String folder_path = string_prefix(path, slash + 1);
    String name = string_skip(path, slash + 1);
    StringTableEntry* folder = make ? string_table_add(&m->folders, folder_path) : string_table_find(&m->folders, folder_path);
    if (!folder) return 0;
    u64 name_hash = XXH3_64bits(name.str, name.size);
    PageManifestEntry* e = manifest_lookup(m, folder->number, name_hash);
    if (e || !make) return e;
    u64 index = 0;
    e = manifest_new_entry(m, &index);
    e->folder = folder->number;
    e->name_hash = name_hash;
    u32* slot = &m->slots[manifest_slot(folder->number, name_hash)];
    e->next = *slot;
    *slot = (u32)index;
    return e;
}

// Marks the entry as a page of this build. A page written (inode 0 until
// the save) gets its name and inode from its folder's listing; a page found
// unchanged keeps its line of the manifest being replaced.
static void manifest_mark_seen(PageManifest* m, PageManifestEntry* e) {
    e->seen = 1;
    if (e->inode == 0) string_table_at(&m->folders, e->folder)->mark = 1;
}

// Records that this build wrote `size` bytes of hash `hash` for the entry's
// page; its inode comes from its folder's listing at the save.
static void manifest_note_write(PageManifest* m, PageManifestEntry* e, u64 size, u64 hash) {
    e->size = size;
    e->hash = hash;
    e->inode = 0;
    manifest_mark_seen(m, e);
}

// The lines of a manifest's text, "<size> <hash, hex> <inode> <path below
// the root>", in order; false after the last.
struct ManifestLineReader {
    String text;
    u64 at;
};

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

static bool manifest_next_line(ManifestLineReader* r, u64* size, u64* hash, u64* inode, String* path) {
    while (r->at < r->text.size) {
        u64 end = string_find_byte(r->text, '\n', r->at);
        String line = string_substr(r->text, r->at, end);
        r->at = end + 1;
        *size = parse_number(&line, 10);
        *hash = parse_number(&line, 16);
        *inode = parse_number(&line, 10);
        if (line.size == 0) continue;
        *path = line;
        return true;
    }
    return false;
}

// How a page the manifest did not know starts in the journal; its path
// follows.
struct JournalRecord {
    u64 size;
    u64 hash;
    u64 path_size;
};

static void journal_page(PageManifest* m, String path, u64 size, u64 hash) {
    if (!m->journal_open) {
        spool_open(&m->journal, m->root);
        m->journal_open = true;
    }
    JournalRecord record = {size, hash, path.size};
    spool_append(&m->journal, String{(u8*)&record, sizeof(record)});
    spool_append(&m->journal, path);
}

// Reads the journal back into entries, a later write of a path over an
// earlier one, and empties it.
static void journal_replay(PageManifest* m) {
    if (!m->journal_open) return;
    SpoolCursor cursor = {};
    for (;;) {
        const u8* bytes = spool_read(&m->journal, &cursor, sizeof(JournalRecord));
        if (!bytes) break;
        JournalRecord record;
        memcpy(&record, bytes, sizeof(record));
        const u8* path = spool_read(&m->journal, &cursor, record.path_size);
        if (!path) break;
        PageManifestEntry* e = manifest_find(m, String{(u8*)path, record.path_size}, true);
        if (e) manifest_note_write(m, e, record.size, record.hash);
    }
    spool_cursor_end(&cursor);
    spool_close(&m->journal);
    m->journal_open = false;
}

PageManifest* page_manifest_load(String root) {
    Arena* arena = arena_create(GB(1), KB(64));
    PageManifest* m = push_struct<PageManifest>(arena);
    m->arena = arena;
    m->root = string_copy(arena, root);
    m->slots = push_array<u32>(arena, PAGE_MANIFEST_SLOT_COUNT);
    m->folders = string_table(arena);
    u64 unused = 0;
    manifest_new_entry(m, &unused);  // index 0 stands for none
    Scratch scratch(arena);
    String path = string_format(scratch.arena, "%.*s" PAGE_MANIFEST_FILE_NAME, STR_ARG(root));
    String text = os_read_whole_file(scratch.arena, path);
    if (text.size == 0) {
        String html = string_format(scratch.arena, "%.*shtml", STR_ARG(root));
        m->fresh = !os_path_properties(html).exists;
        m->unknown = !m->fresh;
        return m;
    }
    ManifestLineReader reader = {text, 0};
    u64 size = 0, hash = 0, inode = 0;
    String relative = {};
    while (manifest_next_line(&reader, &size, &hash, &inode, &relative)) {
        Scratch line_scratch(arena);
        String full = string_format(line_scratch.arena, "%.*s%.*s", STR_ARG(root), STR_ARG(relative));
        PageManifestEntry* e = manifest_find(m, full, true);
        if (!e) continue;
        e->size = size;
        e->hash = hash;
        e->inode = inode;
    }
    return m;
}

// A page written: its entry, or (a page the manifest did not know) the
// journal, takes its size and hash.
static void manifest_written(PageManifest* m, PageManifestEntry* e, String path, u64 size, u64 hash) {
    if (e) {
        manifest_note_write(m, e, size, hash);
    } else {
        journal_page(m, path, size, hash);
    }
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
            manifest_mark_seen(m, entries[i]);
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
        if (writes[k].ok) manifest_written(m, entries[i], pages[i].path, pages[i].data.size, hashes[i]);
    }
}

bool page_manifest_write_pieces(PageManifest* m, String path, const PagePieces* page) {
    bool read = false;
    u64 hash = page_pieces_hash(page, &read);
    if (!read) return false;
    u64 size = page_pieces_size(page);
    PageManifestEntry* e = manifest_find(m, path, false);
    if (e && e->size == size && e->hash == hash && e->inode) {
        OsFileProperties props = os_path_properties(path);
        if (props.is_regular && props.size == size && props.inode == e->inode) {
            manifest_mark_seen(m, e);
            return true;
        }
    }
    if (!page_pieces_write_atomic(path, page)) return false;
    manifest_written(m, e, path, size, hash);
    return true;
}

// A line of the saved manifest: a page of this build, named by its
// folder's listing.
struct ManifestLine {
    String folder;  // up to and with the last "/"
    String name;
    PageManifestEntry* entry;
    u64 inode;
};

// Byte order of the lines' whole paths, folder and name read as one.
static bool line_before(const ManifestLine& a, const ManifestLine& b) {
    String a_parts[2] = {a.folder, a.name};
    String b_parts[2] = {b.folder, b.name};
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
    journal_replay(m);
    // The texts, listings and lines live in an arena given back after the save.
    Arena* arena = arena_create(GB(8), KB(64));
    ManifestLine* lines = 0;
    u64 count = 0;
    u64 capacity = 0;
    auto add_line = [&](String folder, String name, PageManifestEntry* e) {
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 1024;
            ManifestLine* grown = push_array_no_zero<ManifestLine>(arena, capacity);
            if (count) memcpy(grown, lines, sizeof(ManifestLine) * count);
            lines = grown;
        }
        lines[count++] = ManifestLine{folder, name, e, e->inode};
        e->saved = 1;
    };

    // Pages found unchanged: their lines of the manifest being replaced.
    String old_path = string_format(arena, "%.*s" PAGE_MANIFEST_FILE_NAME, STR_ARG(m->root));
    ManifestLineReader reader = {os_read_whole_file(arena, old_path), 0};
    u64 size = 0, hash = 0, inode = 0;
    String relative = {};
    while (manifest_next_line(&reader, &size, &hash, &inode, &relative)) {
        Scratch line_scratch(arena);
        String full = string_format(line_scratch.arena, "%.*s%.*s", STR_ARG(m->root), STR_ARG(relative));
        PageManifestEntry* e = manifest_find(m, full, false);
        if (!e || !e->seen || e->saved || e->inode == 0 || e->inode != inode) continue;
        u64 slash = string_find_last_byte(full, '/');
        add_line(string_table_at(&m->folders, e->folder)->string, string_skip(relative, relative.size - (full.size - slash - 1)), e);
    }
    // Pages written: named by their folders' listings, with the inodes the
    // writes gave them.
    for (u64 number = 0; number < m->folders.count; number += 1) {
        const StringTableEntry* f = string_table_at(&m->folders, (u32)number);
        if (!f->mark || !string_starts_with(f->string, m->root, 0)) continue;
        u64 names_count = 0;
        OsDirName* names = os_dir_names(arena, f->string, &names_count);
        for (u64 i = 0; i < names_count; i += 1) {
            String name = names[i].name;
            PageManifestEntry* e = manifest_lookup(m, f->number, XXH3_64bits(name.str, name.size));
            if (!e || !e->seen || e->saved || e->inode != 0 || names[i].inode == 0) continue;
            e->inode = names[i].inode;
            add_line(f->string, name, e);
        }
    }
    std::sort(lines, lines + count, line_before);
    // Written line by line: the text of a large site is never whole in memory.
    Scratch scratch(arena);
    OsFileStream stream;
    os_stream_begin(scratch.arena, &stream, old_path);
    for (u64 i = 0; i < count; i += 1) {
        Scratch line_scratch(arena);
        const ManifestLine* line = &lines[i];
        lines[i].entry->saved = 0;
        String folder = string_skip(line->folder, m->root.size);
        String text = string_format(line_scratch.arena, "%llu %llx %llu %.*s%.*s\n", (unsigned long long)line->entry->size,
                                    (unsigned long long)line->entry->hash, (unsigned long long)line->inode,
                                    STR_ARG(folder), STR_ARG(line->name));
        os_stream_write(&stream, text);
    }
    os_stream_end(&stream);
    arena_release(arena);
    // The root has pages now: a later write through this manifest (watch
    // mode) is no longer the first one at its path.
    m->fresh = false;
}
