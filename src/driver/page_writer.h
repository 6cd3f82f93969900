// Pages are stored on a thread of their own while the build assembles the
// next documents: the build hands serialized pages over in batches, and the
// writer stores the batches in the order they were handed over, each page in
// the order it was added.
#pragma once

#include "base/core.h"
#include "base/string.h"
#include "driver/page_pieces.h"

struct PageManifest;  // driver/page_manifest.h

// Starts the writer thread (once; later calls do nothing).
void page_writer_start();
// Pages are stored through `manifest` (null: written directly, each compared
// with the file there). Set between builds, when no page is queued.
void page_writer_use_manifest(PageManifest* manifest);
// Copies `text` (its pieces joined) into the current batch as the page at
// `path`. When the page has been stored, `*written` (unless null) becomes 1,
// or 0 when the write failed. A full batch is handed over.
void page_writer_add(String path, const StringList* text, u8* written);
// The same for a page too large to copy: it is written from the caller's
// memory (and spool), which must hold it until page_writer_drain returns.
void page_writer_add_pieces(String path, const PagePieces* page, u8* written);
// A page given whole as `text`, or, when `pieces` holds any, as those pieces
// (page_writer_add_pieces).
void page_writer_add_page(String path, String text, const PagePieces* pieces, u8* written);
// Hands over the current batch and waits until every page added is stored.
void page_writer_drain();
