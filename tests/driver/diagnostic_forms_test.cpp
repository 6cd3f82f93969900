// Both print forms over every message the KAV parse driver (parser and
// hints) and the HTML template reader (with its validation) can print: the
// line form holds the same records as the block form, one line each.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "base/arena.h"
#include "base/diagnostic.h"
#include "htmldom/html_reader.h"
#include "kav/kav_document.h"
#include "site/site_check.h"
#include "support/strings.h"

namespace {

using kavsite_test::from;

// Every message format of the sources, "%S" standing for any text.
const char* const kKavMessages[] = {
    // The parser.
    "Unexpected \"%S\" token.",
    "Number \"%S\" is larger than 255.",
    "Output path \"%S\" is outside the site root.",
    "Output path \"%S\" would replace a file of the site itself.",
    "Table has more than 256 rows; the later rows share the last row number.",
    "Quote nested more than %S deep; it is shown in the quote at depth %S.",
    // The hints.
    "unknown header key '%S'; did you mean '%S'?",
    "no header, so this document publishes no page; start it with a `` block that holds 'output_path: <page>.html'",
    "the header has no output_path line, so this document publishes no page",
    "output_path names no page, so this document publishes no page",
    "no output_path ends in .html, so this document publishes no page",
    "tab in indentation counts as one blank, and a level is two blanks; indent with spaces",
    "'- ' makes no list item in KAV; a bullet item is written '. item'",
    "'* ' makes no list item in KAV; a bullet item is written '. item'",
    "'#' makes no heading in KAV; a line at the left margin is a heading, and its indentation gives its level",
    "Markdown link; in KAV write \"%S\"(%S)",
    "Markdown link; in KAV a link is its quoted URL with the text after it: \"https://example.com\"(text)",
    "Markdown image; in KAV write [_\"%S\"(\"%S\")]",
    "Markdown image; in KAV write [_\"%S\"]",
    "Markdown image; in KAV an image is written [_\"/img/a.png\"(\"alt text\")]",
    "Markdown table row; a KAV table opens with a '|---' line above its header, and '|---' goes before each body row",
    "'~~~' opens no code block in KAV; fence code with three backquotes (```)",
    "a code fence is three backquotes; past the third, the closing fence opens inline code",
    "URL without quotes is plain text, not a link; write \"%S\"",
    "URL without quotes is plain text, not a link; write it in double quotes",
    "'%S.' at the start of a line marks a lettered list item and is not shown; for a sentence write '%S\\.'",
    "a word and a full stop at the start of a line mark a lettered list item, and the word is not shown; for a "
    "sentence escape the full stop",
    "'%S' is plain text, not a link: a path of the site starts with '/'; write \"/%S\"",
    "'%S' is plain text, not an image: a path of the site starts with '/'; write [_\"/%S\"]",
    "'%S' is plain text, not a link: a web address starts with https://; write \"https://%S\"",
    "quoted text before '(' or in [_ ] is plain text unless it starts with '/' (a path of the site) or a scheme such "
    "as https://",
    "Markdown bold; in KAV write _%S_",
    "Markdown bold; in KAV strong text is written between single underscores: _like this_",
};

const char* const kTemplateMessages[] = {
    // The reader.
    "Tag label expected after '<' symbol, was: %S. If inside a text, escape it with &lt;",
    "The tag name \"%S\" has no matching closing tag name. You may have an opening tag without matching closing one.",
    "Unexpected \"%S\" token.",
    "%S's value was a boolean flag but shouldn't ",
    "%S's Attribute value has string broken.",
    // The validation. Its "parsing failed, tag was encountered inside
    // attribute node" is left out: no text is known to make the reader file
    // an element beside an attribute list.
    "document missing title",
    "%S unknown tag element",
    "Structure (internal): %S does not have correct internal nodes which will cause critical errors",
    "Structure: %S does not have an allowed parent, it should be one of theses: %S",
    "%S must not have empty content",
    "%S unknown attribute",
    "%S is a duplicated attribute",
    "attribute's key %S must not be empty",
};

using kavsite_test::repeat;

// The documents: one with every message but the page hints, which exclude
// each other, and one for each of those.
const std::vector<std::string> kDocuments = {
    "``\ntittle: Forms\noutput_path: a.html C:/outside/b.html index.html\n``\n"
    "| not a table\n"
    "A ] and }~ and w[*300]\n"
    "- dash\n"
    "* star\n"
    "# hash\n"
    "\tTabbed\n"
    "[text](https://example.com)\n"
    "[text](relative)\n"
    "![alt](/img/a.png)\n"
    "x ![](/img/b.png)\n"
    "x ![alt](\n"
    "|---|---|\n"
    "~~~\n"
    "> ```\n"
    "> code in a quote\n"
    "> ```\n"
    "See https://example.com/a\n"
    "See https://example.com/" + std::string(300, 'a') + "\n"
    "|---\n| h\n" + repeat("|---\n| r\n", 257) +
    "Welcome. Read on\n" + std::string(300, 'w') + ". x\n" +
    "\"a.html\"(a)\n[_\"img/a.png\"]\n\"www.example.com\"(b)\n\"../up.html\"(c)\n" +
    "**bold**\n**a_b**\n" +
    repeat(">", 40) + " deep\n" +
    "````\ncode\n````\n",
    "Text\n",
    "``\ntitle: T\n``\n",
    "``\noutput_path:\n``\n",
    "``\noutput_path: a.htm\n``\n",
};

struct Template {
    std::string text;
    u32 options;
};

const std::vector<Template> kTemplates = {
    {"x<html><head><title>t</title></head><body><a href=\"x\" = title=\"y\"><a href>k</a><a title=\"x>z</a>"
     "</body></html>",
     0},
    {"<html><head><title>t</title></head><body>< x</body></html>", 0},
    {"<html><head></head><body><foo>x</foo><p zork=\"1\" id=\"a\" id=\"b\">t</p><a href=\"\">q</a><li>i</li>"
     "</body></html>",
     HTML_PARSE_VALIDATE | HTML_VALIDATE_UNKNOWN_TAGS | HTML_VALIDATE_UNKNOWN_ATTRIBUTES | HTML_VALIDATE_PARENTS},
    {"<title><body><<head><body></script>/><", HTML_PARSE_VALIDATE},
};

struct Record {
    std::string location, level, message;
    bool operator==(const Record& other) const {
        return location == other.location && level == other.level && message == other.message;
    }
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', start)) {
        lines.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    EXPECT_EQ(start, text.size()) << "the output ends with a line feed";
    return lines;
}

// "<level>: ", "token: <message>", "<location>" per record.
std::vector<Record> read_blocks(const std::string& text) {
    std::vector<std::string> lines = lines_of(text);
    EXPECT_EQ(lines.size() % 3, 0u) << text;
    std::vector<Record> records;
    for (size_t k = 0; k + 2 < lines.size(); k += 3) {
        EXPECT_EQ(lines[k].substr(lines[k].size() - 2), ": ") << lines[k];
        EXPECT_EQ(lines[k + 1].rfind("token: ", 0), 0u) << lines[k + 1];
        records.push_back({lines[k + 2], lines[k].substr(0, lines[k].size() - 2), lines[k + 1].substr(7)});
    }
    return records;
}

// "<path>:<line>:<column>: <level>: <message>" per record.
std::vector<Record> read_lines(const std::string& text) {
    const std::regex form(R"(([^:]+:[0-9]+:[0-9]+): (warning|error): (.*))");
    std::vector<Record> records;
    for (const std::string& line : lines_of(text)) {
        std::smatch m;
        if (!std::regex_match(line, m, form)) {
            ADD_FAILURE() << "not in the line form: " << line;
            continue;
        }
        records.push_back({m[1], m[2], m[3]});
    }
    return records;
}

bool matches(const std::string& message, const char* format) {
    std::string pattern;
    for (const char* c = format; *c; c += 1) {
        if (c[0] == '%' && c[1] == 'S') {
            pattern += ".*";
            c += 1;
        } else {
            if (std::string("\\^$.|?*+()[]{}").find(*c) != std::string::npos) pattern += '\\';
            pattern += *c;
        }
    }
    return std::regex_match(message, std::regex(pattern));
}

// Every printed message has a format of the list, and every format was
// printed.
template <size_t N>
void expect_every_format(const std::vector<Record>& records, const char* const (&formats)[N]) {
    std::vector<bool> seen(N, false);
    for (const Record& r : records) {
        bool known = false;
        for (size_t k = 0; k < N; k += 1) {
            if (matches(r.message, formats[k])) seen[k] = known = true;
        }
        EXPECT_TRUE(known) << "a message of no listed format: " << r.message;
    }
    for (size_t k = 0; k < N; k += 1) EXPECT_TRUE(seen[k]) << "never printed: " << formats[k];
}

struct DiagnosticFormsTest : ::testing::Test {
    Arena* arena = arena_create(GB(1), MB(1));
    Site* site = nullptr;
    DiagnosticFormsTest() {
        SiteSettings settings = {};
        settings.root = S("/site/");
        site = site_create(&settings);
    }
    ~DiagnosticFormsTest() override {
        arena_release(site->arena);
        arena_release(arena);
    }
    // A document's diagnostics as a build prints them: the parser's, the
    // hints and the check pass's, in `form`.
    void print_document(String source, DiagnosticForm form) {
        KavParseResult document = kav_parse_document(arena, source, S("notes/doc.kav"));
        StringList outputs = {};
        check_output_paths(arena, site, &document, &outputs);
        diag_print_list(&document.diagnostics, S("notes/doc.kav"), source, form);
    }
};

template <typename Print>
std::string captured(Print print) {
    testing::internal::CaptureStdout();
    print();
    console_flush();
    return testing::internal::GetCapturedStdout();
}

TEST_F(DiagnosticFormsTest, KavDocumentsPrintTheSameRecordsInBothForms) {
    std::vector<Record> all;
    for (const std::string& text : kDocuments) {
        String source = string_copy(arena, from(text));
        std::string block = captured([&] { print_document(source, DIAG_FORM_BLOCK); });
        std::string line = captured([&] { print_document(source, DIAG_FORM_LINE); });
        std::vector<Record> records = read_blocks(block);
        EXPECT_EQ(read_lines(line), records) << text.substr(0, 40);
        EXPECT_FALSE(records.empty());
        all.insert(all.end(), records.begin(), records.end());
    }
    expect_every_format(all, kKavMessages);
}

TEST_F(DiagnosticFormsTest, TemplatesPrintTheSameRecordsInBothForms) {
    std::vector<Record> all;
    for (const Template& t : kTemplates) {
        String text = string_copy(arena, from(t.text));
        HtmlDocument document = html_read_template(arena, text, S("html/shared/html/t.html"), t.options | HTML_PARSE_QUIET);
        std::string block = captured([&] { diag_print_list(&document.diagnostics, S("t.html"), text, DIAG_FORM_BLOCK); });
        std::string line = captured([&] { diag_print_list(&document.diagnostics, S("t.html"), text, DIAG_FORM_LINE); });
        std::vector<Record> records = read_blocks(block);
        EXPECT_EQ(read_lines(line), records) << t.text;
        EXPECT_FALSE(records.empty());
        all.insert(all.end(), records.begin(), records.end());
    }
    expect_every_format(all, kTemplateMessages);
}

}  // namespace
