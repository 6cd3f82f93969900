// Hints for slips the grammar takes silently: each kind with the slips it
// names and the valid KAV next to them that it must leave alone, the guide's
// examples (which must give none but the page hint), and their printing by
// the parse driver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kav/kav_document.h"
#include "kav/kav_hints.h"
#include "kav_guide_examples.h"
#include "kav_test_support.h"

namespace {

const char* kNoHeader =
    "no header, so this document publishes no page; start it with a `` block that holds 'output_path: <page>.html'";
// A header that publishes a page, so that a case shows only its own hints.
const std::string kHead = "``\noutput_path: a.html\n``\n";

struct KavHintsTest : KavArenaTest {

    // "line:column message" for each hint of `text`, in order.
    std::vector<std::string> hints(const std::string& text) {
        String source = string_copy(arena, from(text));
        KavTokens tokens = kav_tokenize(arena, source);
        KavParseResult result = kav_parse(arena, S("doc.kav"), source, &tokens);
        DiagnosticList list = kav_hints(arena, source, &tokens, &result);
        std::vector<std::string> out;
        u64 count = 0;
        for (Diagnostic* d = list.first; d; d = d->next) {
            TextPosition at = text_position(source, d->offset);
            out.push_back(std::to_string(at.line) + ":" + std::to_string(at.column) + " " + str(d->message));
            EXPECT_EQ(d->level, DIAG_WARNING) << text;
            count += 1;
        }
        EXPECT_EQ(count, list.count) << text;
        EXPECT_EQ(list.max_level, count ? DIAG_WARNING : 0) << text;
        return out;
    }
};

struct Case {
    std::string source;
    std::vector<std::string> hints;
};

void expect_cases(KavHintsTest* test, const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(test->hints(c.source), c.hints) << c.source;
}

TEST_F(KavHintsTest, MisspelledHeaderKeys) {
    expect_cases(this, {
        {"``\ntittle: A\nouput_path: a.html\n``\n",
         {"2:1 unknown header key 'tittle'; did you mean 'title'?",
          "3:1 unknown header key 'ouput_path'; did you mean 'output_path'?"}},
        // As written; one hint per line; keys under a heading of the header.
        {"``\nTitle : ok\nAutor: me | catgory: x\nAbout\n  date : 2024\noutput_path: a.html\n``\n",
         {"3:1 unknown header key 'Autor'; did you mean 'author'?",
          "5:3 unknown header key 'date'; did you mean 'creation_date'?"}},
        {"``\noutput path: a.html\nexcerpt: x\n``\n", {"2:1 unknown header key 'output path'; did you mean 'output_path'?"}},
        // Not near any key, or not a key line at all.
        {"``\nNote: see below\nTags: a\nsummary x\noutput_path: a.html\n  The walk: long\n``\n", {}},
        // Only the header: nested toggles, quotes and the body are text.
        {"``\n> tittle: x\noutput_path: a.html\n  ``\n  tittle: y\n  ``\n``\ntittle: z\n", {}},
        {"tittle: A\n", {"1:1 " + std::string(kNoHeader)}},
    });
}

TEST_F(KavHintsTest, DocumentsThatPublishNoPage) {
    expect_cases(this, {
        {"Text\n", {"1:1 " + std::string(kNoHeader)}},
        {"\n\n  x\n", {"1:1 " + std::string(kNoHeader)}},
        {"``\ntitle: T\n``\nText\n", {"1:1 the header has no output_path line, so this document publishes no page"}},
        // A toggle below the first line is no header.
        {"Intro\n``\ntitle: T\n``\n", {"1:1 " + std::string(kNoHeader)}},
        {"``\ntitle: T\noutput_path:\n``\n", {"3:1 output_path names no page, so this document publishes no page"}},
        {"``\noutput_path: https://example.com/a.html\n``\n",
         {"2:1 output_path names no page, so this document publishes no page"}},
        {"``\ntitle: T\noutput_path: a.htm notes/b.HTML\n``\n",
         {"3:1 no output_path ends in .html, so this document publishes no page"}},
        // Pages, a draft, and paths outside the root (which the site's check
        // pass reports).
        {"``\noutput_path: a.txt b.html\n``\n", {}},
        {"``\nstatus: Draft\n``\n", {}},
        {"``\noutput_path: C:/elsewhere/a.html\n``\n", {}},
        // A misspelled output_path says it already.
        {"``\nouput_path: a.html\n``\n", {"2:1 unknown header key 'ouput_path'; did you mean 'output_path'?"}},
    });
}

TEST_F(KavHintsTest, TabsInIndentation) {
    const std::string tab = " tab in indentation counts as one blank, and a level is two blanks; indent with spaces";
    expect_cases(this, {
        {kHead + "Text\n\tindented\n  \t\tmixed\n", {"5:1" + tab, "6:3" + tab}},
        {kHead + "> \tquoted\n\t> quote\n", {"4:3" + tab, "5:1" + tab}},
        {kHead + "Text\twith a tab\n\t\n  x\t\n", {}},
        {kHead + "```\n\tcode\n```\n~{\n\t<b>\n}~\n`x\n\ty`\n", {}},
    });
}

TEST_F(KavHintsTest, MarkdownHabitsAtTheStartOfALine) {
    const std::string dash = "'- ' makes no list item in KAV; a bullet item is written '. item'";
    const std::string star = "'* ' makes no list item in KAV; a bullet item is written '. item'";
    const std::string hash =
        "'#' makes no heading in KAV; a line at the left margin is a heading, and its indentation gives its level";
    const std::string tilde = "'~~~' opens no code block in KAV; fence code with three backquotes (```)";
    expect_cases(this, {
        {kHead + "- one\n  * two\n# Title\n### Deeper\n> - quoted\n",
         {"4:1 " + dash, "5:3 " + star, "6:1 " + hash, "7:1 " + hash, "8:3 " + dash}},
        {kHead + "~~~python\nprint()\n~~~\n", {"4:1 " + tilde, "6:1 " + tilde}},
        {kHead + "````\ncode\n````\n",
         {"4:1 a code fence is three backquotes; past the third, the closing fence opens inline code"}},
        {kHead + "> ```\n> - code\n> ```\n", {}},
        // KAV's own forms, and the same signs elsewhere in a line.
        {kHead + ". item\n1. one\na. first\n---\n--- - x\nCosts - 5 * 2 # 3\n-5 degrees\n*bold*\n#tag\n-\n*\n", {}},
        {kHead + "|---\n| Name | -\n|---\n| a | - b\n", {}},
        {kHead + "```sh\n- x\n# y\n~~~\n```\n", {}},
        {kHead + "`- x\n# y`\n~{\n- x\n}~\n// - comment\n\\- escaped\n\\# escaped\n", {}},
    });
}

TEST_F(KavHintsTest, MarkdownTableRows) {
    const std::string row =
        "Markdown table row; a KAV table opens with a '|---' line above its header, and '|---' goes before each "
        "body row";
    expect_cases(this, {
        {kHead + "| Name | Age |\n|---|---|\n| Ann | 32 |\n", {"5:1 " + row}},
        {kHead + "| :--- | ---: |\n|-|-|\n|---|\n|:---:|\n", {"4:1 " + row, "5:1 " + row, "7:1 " + row}},
        // KAV rule lines: one column, a closing pipe, side by side.
        {kHead + "|---\n|---|\n|---          |---\n|---   |---|\n  |---\n|--- text |---|x\n| a |---|\n", {}},
    });
}

TEST_F(KavHintsTest, MarkdownLinksAndImages) {
    expect_cases(this, {
        {kHead + "See [the site](https://example.com) now\n",
         {"4:5 Markdown link; in KAV write \"https://example.com\"(the site)"}},
        {kHead + "![A cat](/img/cat.jpg \"title\") and ![](https://x.org/a.png)\n",
         {"4:1 Markdown image; in KAV write [_\"/img/cat.jpg\"(\"A cat\")]"}},
        {kHead + "x ![](https://x.org/a.png)\n", {"4:3 Markdown image; in KAV write [_\"https://x.org/a.png\"]"}},
        // Targets KAV would not link, or no closing ")": the general form.
        {kHead + "[notes](notes/a.html) [b](",
         {"4:1 Markdown link; in KAV a link is its quoted URL with the text after it: \"https://example.com\"(text)"}},
        {kHead + "[y](https://x.org/\"q\")\n![a](\n",
         {"4:1 Markdown link; in KAV a link is its quoted URL with the text after it: \"https://example.com\"(text)",
          "5:1 Markdown image; in KAV an image is written [_\"/img/a.png\"(\"alt text\")]"}},
        // KAV brackets before "(": checkboxes, notes, link numbers; and an
        // escaped bracket.
        {kHead + "[x](done) [ ](open) [](no) w[*1](a) [#2](b) \\[a\\](b) [#3(text)]\n", {}},
    });
}

TEST_F(KavHintsTest, ImageDescriptionsThatAreNeitherAltTextNorSize) {
    const std::string tail = "' is neither quoted alt text nor a size such as 300x200; alt text is written (\"";
    expect_cases(this, {
        {kHead + "A [_\"/img/a.png\"(Green hills)] b\n",
         {"4:4 image description 'Green hills" + tail + "Green hills\")"}},
        {kHead + "[_\"https://example.com/a.png\"(hills 3x 640x480)]\n",
         {"4:2 image description 'hills 3x" + tail + "hills 3x\")"}},
        // Quoted alt text and sizes are what a description holds; a link's
        // description is its text.
        {kHead + "[_\"/img/a.png\"(\"Green hills\" 300x200)] [_\"/img/b.png\"(640X480)]\n", {}},
        {kHead + "[\"https://example.com\"(some words)] [_\"/img/a.png\"]\n", {}},
        // A Markdown link around a bare URL: named at its "[", before the URL.
        {kHead + "[x https://example.com/a](y)\n",
         {"4:1 Markdown link; in KAV a link is its quoted URL with the text after it: \"https://example.com\"(text)",
          "4:4 URL without quotes is plain text, not a link; write \"https://example.com/a\""}},
        // An image in another's description: the hints stay in source order.
        {kHead + "[_\"/img/a.jpg\"([_\"/b.png\"(the tools) x/\n",
         {"4:2 image description 'x /" + tail + "x /\")", "4:17 image description 'the tools" + tail + "the tools\")"}},
    });
}

TEST_F(KavHintsTest, WordsTakenForListMarkers) {
    const std::string tail = "' at the start of a line marks a lettered list item and is not shown; for a sentence write '";
    expect_cases(this, {
        {kHead + "Welcome. Read on\n", {"4:1 'Welcome." + tail + "Welcome\\.'"}},
        // In a quote, indented, alone on its line.
        {kHead + "> Note. this\n  Done.\n", {"4:3 'Note." + tail + "Note\\.'", "5:3 'Done." + tail + "Done\\.'"}},
        // Letters are markers as meant; an escaped stop, a stop inside a
        // line, numbers and bullets are no markers of words.
        {kHead + "a. one\nb. two\n", {}},
        {kHead + "Welcome\\. Read on\nSee it. Then\n1. x\n. y\n", {}},
    });
    // A long word is named in general terms.
    std::string word(300, 'w');
    EXPECT_EQ(hints(kHead + word + ". x\n"),
              std::vector<std::string>{"4:1 a word and a full stop at the start of a line mark a lettered list item, "
                                       "and the word is not shown; for a sentence escape the full stop"});
}

// A quoted text that is not rooted shows as plain text, with its description
// as written, and an image around it is lost.
TEST_F(KavHintsTest, PathsWithoutTheLeadingSlash) {
    const std::string site = " is plain text, not a link: a path of the site starts with '/'; write \"/";
    const std::string general = "quoted text before '(' or in [_ ] is plain text unless it starts with '/' (a path of "
                                "the site) or a scheme such as https://";
    expect_cases(this, {
        {kHead + "See \"tomatoes.html\"(the tomatoes) and \"./notes/a.html\"(notes)\n",
         {"4:5 'tomatoes.html'" + site + "tomatoes.html\""}},
        {kHead + "x \"./notes/a.html\"(notes)\n", {"4:3 './notes/a.html'" + site + "notes/a.html\""}},
        {kHead + "A [_\"img/a.png\"(\"alt\")] b\n",
         {"4:5 'img/a.png' is plain text, not an image: a path of the site starts with '/'; write [_\"/img/a.png\"]"}},
        {kHead + "\"www.example.com\"(site)\n",
         {"4:1 'www.example.com' is plain text, not a link: a web address starts with https://; write "
          "\"https://www.example.com\""}},
        {kHead + "\"../up.html\"(up)\n", {"4:1 " + general}},
        // Links as they are meant, quoted words, texts with a scheme, and
        // quoted paths that stand alone are left alone.
        {kHead + "\"/a.html\"(a) \"https://example.com\"(b) [_\"/img/a.png\"] \"hello\"(x) "
                 "\"mailto:me@example.com\"(m) \"http://localhost:8080/x\"(l) \"a.html\" \"img/b.png\" ~{\"b.html\"(x)}~\n",
         {}},
    });
}

// KAV shows Markdown's "**" as written; "_" makes strong text.
TEST_F(KavHintsTest, MarkdownBold) {
    expect_cases(this, {
        {kHead + "This is **very** good and **also**\n", {"4:9 Markdown bold; in KAV write _very_"}},
        {kHead + "**Note**: read\n2**3 and **two words** x\n",
         {"4:1 Markdown bold; in KAV write _Note_", "5:10 Markdown bold; in KAV write _two words_"}},
        // Not bold: a power, stars around blanks, no closing pair, escaped,
        // code, and KAV's own strong text.
        {kHead + "2**3 a ** b ** c **open\n\\**not** `**code**` _strong_\n", {}},
    });
    EXPECT_EQ(hints(kHead + "**a_b**\n"),
              std::vector<std::string>{"4:1 Markdown bold; in KAV strong text is written between single underscores: "
                                       "_like this_"});
}

TEST_F(KavHintsTest, UrlsWithoutQuotes) {
    const std::string bare = "URL without quotes is plain text, not a link; write \"";
    expect_cases(this, {
        {kHead + "See https://example.com/a?b=c.\n", {"4:5 " + bare + "https://example.com/a?b=c\""}},
        {kHead + "(see https://en.wikipedia.org/wiki/A_(b)), or ftp://files.example.org/x!\n",
         {"4:6 " + bare + "https://en.wikipedia.org/wiki/A_(b)\""}},
        {kHead + "x ftp://files.example.org/x!\n", {"4:3 " + bare + "ftp://files.example.org/x\""}},
        {kHead + "| https://a.example.org | x\n", {"4:3 " + bare + "https://a.example.org\""}},
        {kHead + "``\n  author_link: https://example.com/me\n``\n", {"5:16 " + bare + "https://example.com/me\""}},
        // Quoted, not external, verbatim, or in an output_path (a URL there
        // is taken as one).
        {kHead + "\"https://example.com\" http://localhost:8080/x https:x\n", {}},
        {kHead + "`https://example.com` ~{https://example.com}~\n```\nhttps://example.com\n```\n", {}},
        {"``\noutput_path: a.html https://example.com/a\n``\n", {}},
    });
    // A long URL is named in general terms.
    std::string longer = "https://example.com/" + std::string(300, 'a');
    EXPECT_EQ(hints(kHead + longer + "\n"),
              std::vector<std::string>{"4:1 URL without quotes is plain text, not a link; write it in double quotes"});
}

TEST_F(KavHintsTest, AtMostOneHintOfAKindPerLine) {
    expect_cases(this, {
        // After a Markdown link, the URLs of the line are its business.
        {kHead + "- [a](https://x.org) [b](https://y.org) https://z.org\n",
         {"4:1 '- ' makes no list item in KAV; a bullet item is written '. item'",
          "4:3 Markdown link; in KAV write \"https://x.org\"(a)"}},
        {kHead + "https://z.org [a](https://x.org) https://w.org\n",
         {"4:1 URL without quotes is plain text, not a link; write \"https://z.org\"",
          "4:15 Markdown link; in KAV write \"https://x.org\"(a)"}},
        {kHead + "\t- a\n",
         {"4:1 tab in indentation counts as one blank, and a level is two blanks; indent with spaces",
          "4:2 '- ' makes no list item in KAV; a bullet item is written '. item'"}},
    });
}

// The guide shows every construct of the language: its examples are no
// slips, but for the few that show one, whose hint the guide then quotes.
// (They are fragments without a header: they publish no page.)
TEST_F(KavHintsTest, GuideExamplesGiveNoHintButThePageOneOrOneTheGuideQuotes) {
    std::vector<std::string> lines = read_guide_lines();
    std::string guide;
    for (const std::string& line : lines) guide += line + "\n";
    std::vector<GuideExample> examples = guide_examples(lines);
    ASSERT_FALSE(examples.empty());
    for (const GuideExample& example : examples) {
        for (const std::string& hint : hints(example.source)) {
            if (hint.find("publishes no page") != std::string::npos) continue;
            std::string message = hint.substr(hint.find(' ') + 1);
            if (guide.find("`" + message + "`") != std::string::npos) continue;
            ADD_FAILURE() << "docs/kav.md:" << example.line << ": " << hint;
        }
    }
}

// The parse driver hands the hints back among the parser's diagnostics, in
// source order; being warnings, they never fail a document.
TEST_F(KavHintsTest, DriverPrintsHintsInSourceOrder) {
    std::string text = "- a\n| b\n  # c ]\n";
    String source = string_copy(arena, from(text));
    KavParseResult result = kav_parse_document(arena, source, S("d.kav"));
    EXPECT_EQ(result.success, 1u);
    EXPECT_EQ(result.diagnostics.count, 5u);
    for (DiagnosticForm form : {DIAG_FORM_LINE, DIAG_FORM_BLOCK}) {
        testing::internal::CaptureStdout();
        diag_print_list(&result.diagnostics, S("d.kav"), source, form);
        console_flush();
        std::string printed = testing::internal::GetCapturedStdout();
        if (form == DIAG_FORM_LINE) {
            EXPECT_EQ(printed, "d.kav:1:1: warning: " + std::string(kNoHeader) +
                                   "\n"
                                   "d.kav:1:1: warning: '- ' makes no list item in KAV; a bullet item is written '. item'\n"
                                   "d.kav:2:1: error: Unexpected \"|\" token.\n"
                                   "d.kav:3:3: warning: '#' makes no heading in KAV; a line at the left margin is a "
                                   "heading, and its indentation gives its level\n"
                                   "d.kav:3:7: warning: Unexpected \"]\" token.\n");
        } else {
            EXPECT_EQ(printed.rfind("warning: \ntoken: " + std::string(kNoHeader) + "\nd.kav:1:1\n", 0), 0u) << printed;
        }
    }
}

}  // namespace
