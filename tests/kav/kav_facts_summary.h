// What a page needs from a document's first parse, printed: its lists in
// order (with each note's subtree and each link's target), the output
// paths, the title's words, the status and the messages. A parse for facts
// and a whole parse of one document must print the same.
#pragma once

#include <string>

#include "kav/kav_node.h"
#include "kav/kav_print.h"
#include "support/strings.h"

inline std::string kav_facts_summary(Arena* arena, const KavParseResult& r) {
    using kavsite_test::str;
    std::string out = "status " + str(r.status) + "\ntitle";
    if (r.title) {
        for (KavNode* w = r.title->first; !kav_node_is_nil(w); w = w->next) out += " " + str(w->value);
    }
    out += "\n";
    const KavNodeList* lists[] = {&r.footnotes, &r.internal_links, &r.file_paths, &r.word_markers,
                                  &r.urls,      &r.toc_entries,    &r.output_words};
    for (const KavNodeList* list : lists) {
        out += "list " + std::to_string(list->count) + ":";
        for (KavNodeCell* cell = list->first; cell; cell = cell->next) {
            const KavNode* n = cell->node;
            out += " " + std::to_string(n->offset) + "/" + std::to_string(n->kind) + "/" + str(n->text);
            if (n->kind == KAV_NODE_INTERNAL_LINK) {
                out += ">" + std::to_string(n->first->offset) + "/" + std::to_string(n->first->kind);
            }
        }
        out += "\n";
    }
    for (KavNodeCell* cell = r.footnotes.first; cell; cell = cell->next) {
        StringList printed = {};
        kav_print_subtree(arena, &printed, cell->node, 0);
        out += str(string_list_join(arena, &printed));
    }
    for (StringNode* p = r.output_paths.first; p; p = p->next) out += "output " + str(p->string) + "\n";
    for (Diagnostic* d = r.diagnostics.first; d; d = d->next) {
        out += std::to_string(d->offset) + " " + std::to_string(d->level) + " " + str(d->message) + "\n";
    }
    return out;
}
