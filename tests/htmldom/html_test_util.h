// Helpers shared by the DOM, reader and writer tests.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/arena.h"
#include "base/string.h"
#include "htmldom/html_dom.h"
#include "htmldom/html_reader.h"
#include "support/child.h"
#include "support/strings.h"

using kavsite_test::from;
using kavsite_test::run_in_child;
using kavsite_test::str;

struct HtmlTest : ::testing::Test {
    Arena* arena = arena_create(MB(256), KB(64));
    ~HtmlTest() override { arena_release(arena); }

    std::string write(HtmlNode* root) { return str(html_serialize_to_string(arena, root)); }
    // Reads quietly, so the diagnostics stay in the document.
    HtmlDocument read(const std::string& text, u32 options = 0) {
        String copy = string_copy(arena, from(text));
        return html_read_template(arena, copy, S("t.html"), options | HTML_PARSE_QUIET);
    }
    std::string roundtrip(const std::string& text, u32 options = 0) {
        HtmlDocument document = read(text, options);
        return document.root ? write(document.root) : std::string();
    }
};

// Messages of a diagnostics list with "line:column: " in front.
inline std::vector<std::string> messages_at(const DiagnosticList& list, String source) {
    std::vector<std::string> out;
    for (Diagnostic* d = list.first; d; d = d->next) {
        TextPosition p = text_position(source, d->offset);
        out.push_back(std::to_string(p.line) + ":" + std::to_string(p.column) + ": " + str(d->message));
    }
    return out;
}

inline std::vector<std::string> messages(const DiagnosticList& list) {
    std::vector<std::string> out;
    for (Diagnostic* d = list.first; d; d = d->next) out.push_back(str(d->message));
    return out;
}
