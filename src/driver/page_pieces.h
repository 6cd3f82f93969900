// A page too large to copy: pieces in memory around a stretch kept in a
// spool (its body, written out as it was converted), written to its file
// without ever being joined.
#pragma once

#include "base/spool.h"
#include "base/string.h"

struct PagePieces {
    StringList before;
    Spool* spool;  // null: the pieces of `before` are the whole page
    StringList after;
};

u64 page_pieces_size(const PagePieces* page);
// Hands `take` the page's bytes in order, a piece at a time. False when the
// spool could not be read back.
bool page_pieces_each(const PagePieces* page, void (*take)(void* context, String bytes), void* context);
// XXH3 64 of the page's bytes, as of the page joined; false in `*read`
// (when given) if the spool could not be read back.
u64 page_pieces_hash(const PagePieces* page, bool* read);
// The whole page in one string in `arena` (for callers that keep pages
// whole); empty when the spool could not be read back.
String page_pieces_join(Arena* arena, const PagePieces* page);
// Replaces the file at `path` with the page as os_write_file_atomic would
// (missing directories are made). False when the write failed; the old
// file is then intact.
bool page_pieces_write_atomic(String path, const PagePieces* page);
// Gives back the spool's memory and file.
void page_pieces_close(PagePieces* page);
