// Pages are stored on a thread of their own while the build assembles the
// next document: the build serializes a page into a free slot and goes on;
// the writer stores the slots in the order they were filled.
#pragma once

#include "base/core.h"
#include "htmldom/html_dom.h"

// Starts the writer thread (once; later calls do nothing).
void page_writer_start();
// Serializes `page` into a free slot (waiting for one) and queues it. When
// the page has been stored, `*written` (unless null) becomes 1, or 0 when
// the write failed.
void page_writer_queue(const HtmlPage* page, u32* written);
// Waits until every queued page has been stored.
void page_writer_drain();
