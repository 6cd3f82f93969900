// What the previous build wrote: the size, content hash and inode of each
// page and raw view, kept in the site root. A page that the manifest says
// already holds the new bytes costs one stat, not an open and a read; a page
// the manifest does not know is written without looking at the disk first.
// Inodes are learned from the listings of the folders written to (a system
// call per few hundred files), never one file at a time: a page replaced by
// someone else gets a new inode and is written again. (A page edited in place
// to the same size is not noticed until its document changes.)
#pragma once

#include "base/arena.h"
#include "base/os.h"
#include "base/spool.h"
#include "base/string.h"
#include "base/string_table.h"
#include "driver/page_pieces.h"

#define PAGE_MANIFEST_FILE_NAME ".kavsite-pages"
#define PAGE_MANIFEST_SLOT_COUNT 16384
#define PAGE_MANIFEST_CHUNK_SHIFT 12  // entries per chunk: 4096

// A page, known by its folder and the hash of its file name: the names come
// back when the manifest is saved, from the manifest being replaced for the
// pages found unchanged and from the listings of the folders written into
// for the others, so a site of many pages does not hold them all (a name
// costs as much as the rest).
// Two names of one folder with the same hash share an entry; the worst that
// does is a page written again, since a page is only taken as unchanged
// when a stat of its own path finds the entry's size and inode.
struct PageManifestEntry {
    u32 next;        // index of the next entry in its bucket; 0 for none
    u32 folder : 30;  // number of its folder in PageManifest::folders
    u32 seen : 1;     // written (or found unchanged) by this build
    u32 saved : 1;    // has its line in the manifest being saved
    u64 name_hash;   // XXH3 64 of the file name
    u64 size;
    u64 hash;   // XXH3 64 of the bytes
    u64 inode;  // 0 when not known yet
};

struct PageManifest {
    Arena* arena;  // holds everything below
    String root;   // ending in "/"
    u32* slots;    // PAGE_MANIFEST_SLOT_COUNT buckets of entry indices (0: none)
    PageManifestEntry** chunks;  // entry i is chunks[i >> SHIFT][i & (chunk size - 1)]; entry 0 is unused
    u64 chunk_capacity;
    u64 count;  // entries, the unused one included
    // The folders of the pages (paths up to and with the last "/"); a
    // folder's mark is 1 once this build wrote into it: its listing gives
    // the new inodes.
    StringTable folders;
    // Pages the manifest did not know, written since the last save: kept in
    // a spool (see base/spool.h) until the save reads them back into
    // entries, so a build into a new root holds no entry for them while it
    // writes.
    Spool journal;
    bool journal_open;
    // From the load: the root had neither a manifest nor an html folder, so
    // every page is new; or it had pages but no manifest, so each is compared.
    bool fresh;
    bool unknown;
};

// Reads the manifest of the site at `root` (missing or damaged: empty).
PageManifest* page_manifest_load(String root);
// Stores `text` at `path` unless the previous build left exactly these bytes
// there (checked by the manifest and one stat), and records the page.
// False when the write failed. Called from one thread at a time.
bool page_manifest_write(PageManifest* manifest, String path, String text);
// The same for many pages at once (their paths all differ): `data` is each
// page's text and `ok` receives its result; `flags` is not read. The stats
// and the writes are handed to the system in batches.
void page_manifest_write_many(PageManifest* manifest, OsFileWrite* pages, u64 count);
// The same for a page too large to copy, never joined.
bool page_manifest_write_pieces(PageManifest* manifest, String path, const PagePieces* page);
// Learns the inodes of the pages written, and writes the manifest of this
// build (the pages written or found unchanged), itself only when it changed.
void page_manifest_save(PageManifest* manifest);
