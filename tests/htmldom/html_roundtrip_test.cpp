// Writing is stable: for any template, the written tree read back and
// written again gives the same text. Cases are generated from a vocabulary
// of template pieces with a fixed seed, plus every fuzz seed.
#include <filesystem>
#include <random>

#include "html_test_util.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace {

using HtmlRoundTrip = HtmlTest;

const char* const pieces[] = {
    "<", "</", ">", "/>", "=", "\"", "'", " ", "\n", "\t", "\r", "x", "text", "42", "-1.5em", "&lt;", "&amp;",
    "&nbsp;", "&#47;", "<!DOCTYPE html>", "!", "!DOCTYPE", "<!--", "-->", "html", "head", "body", "title", "style",
    "script", "pre", "code", "div", "DIV", "p", "span", "a", "img", "br", "input", "meta", "ul", "li", "custom-el",
    "href", "src", "class", "id", "lang", "LANG", "name", "alt", "disabled", "dontFetch", "data-x", "\"v\"", "'v'",
    "\"a'b\"", "'a\"b'", "\"https://e.com/x#f\"", "/", "#", ";", "{", "}", "(", ")", "?", "[", "]", "\\", "`",
};

std::string generate(std::mt19937* rng) {
    std::uniform_int_distribution<int> length(0, 120);
    std::uniform_int_distribution<int> pick(0, (int)ARRAY_COUNT(pieces) - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> odds(0, 19);
    std::string text;
    int n = length(*rng);
    for (int i = 0; i < n; i += 1) {
        // Now and then a raw byte: NUL, UTF-8 pieces, control characters.
        if (odds(*rng) == 0) {
            text += (char)byte(*rng);
        } else {
            text += pieces[pick(*rng)];
        }
    }
    return text;
}

// Well-formed nesting with attributes of every quoting style.
std::string generate_nested(std::mt19937* rng) {
    const char* tags[] = {"div", "p", "span", "ul", "li", "a", "style", "code", "img", "br", "section", "x-y"};
    const char* attributes[] = {" class=\"c1 c2\"", " id=i", " title='t \"q\"'", " href=\"/x#y\"", " disabled",
                                " data-a=\"1\"", " alt", " src=''"};
    std::uniform_int_distribution<int> tag(0, (int)ARRAY_COUNT(tags) - 1);
    std::uniform_int_distribution<int> attribute(0, (int)ARRAY_COUNT(attributes) - 1);
    std::uniform_int_distribution<int> step(0, 5);
    std::vector<std::string> open;
    std::string text;
    for (int i = 0; i < 60; i += 1) {
        int s = step(*rng);
        if (s <= 2) {
            std::string name = tags[tag(*rng)];
            text += "<" + name;
            for (int a = s; a > 0; a -= 1) text += attributes[attribute(*rng)];
            text += ">";
            open.push_back(name);
        } else if (s == 3 && !open.empty()) {
            text += "</" + open.back() + ">";
            open.pop_back();
        } else {
            text += s == 4 ? "some text &amp; more" : " \n ";
        }
    }
    return text;
}

void expect_stable(HtmlRoundTrip* t, const std::string& text, const std::string& label) {
    std::string first = t->roundtrip(text);
    std::string second = t->roundtrip(first);
    EXPECT_EQ(first, second) << label << "\ntemplate: " << text;
}

TEST_F(HtmlRoundTrip, GeneratedTemplates) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 3000; i += 1) expect_stable(this, generate(&rng), "soup case " + std::to_string(i));
    for (int i = 0; i < 500; i += 1) expect_stable(this, generate_nested(&rng), "nested case " + std::to_string(i));
}

TEST_F(HtmlRoundTrip, FuzzSeeds) {
    fs::path dir = fs::path(KAVSITE_SOURCE_DIR) / "tests/htmldom/fuzz/html_template_seeds";
    int count = 0;
    for (auto& entry : fs::directory_iterator(dir)) {
        expect_stable(this, kavsite_test::read_file(entry.path()), entry.path().filename().string());
        count += 1;
    }
    EXPECT_GT(count, 0) << "no seeds found in " << dir;
}

}  // namespace
