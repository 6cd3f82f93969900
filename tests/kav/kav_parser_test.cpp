// The parser's trees for each construct, compared in the printed form of
// kav_print_result: one node per line, then the result's lists.
#include <gtest/gtest.h>

#include <string>

#include "kav/kav_metadata.h"
#include "kav_test_support.h"

namespace {

struct TreeCase {
    const char* name;
    const char* source;
    const char* tree;
};

const TreeCase kBlockCases[] = {
    {"document of only a context block",
     "``\ntitle: Only\n``\n",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"Only\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"headings and paragraphs nest by indentation",
     "A\n  p1\n    B\n      p3\n  p1b\nC",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p1\"\n"
     "    Heading level=2 indent=4\n"
     "      Word \"B\"\n"
     "      Paragraph level=3 indent=6\n"
     "        Word \"p3\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p1b\"\n"
     "  Heading\n"
     "    Word \"C\"\n"
     "toc level=0 \"A\"\n"
     "toc level=2 \"B\"\n"
     "toc level=0 \"C\"\n"},
    {"a line goes at most one heading level deeper",
     "A\n      deep\n  p\n          far",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Heading level=2 indent=6\n"
     "      Word \"deep\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "    Heading level=2 indent=10\n"
     "      Word \"far\"\n"
     "toc level=0 \"A\"\n"
     "toc level=2 \"deep\"\n"
     "toc level=2 \"far\"\n"},
    {"no level limit without a level-0 heading",
     "  p\n      q",
     "Main\n"
     "  Paragraph level=1 indent=2\n"
     "    Word \"p\"\n"
     "  Paragraph level=3 indent=6\n"
     "    Word \"q\"\n"},
    {"comment lines make no node",
     "// a comment\nA\n  // also\n  p",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "toc level=0 \"A\"\n"},
    {"double slash inside a line is text",
     "A // b",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space \"//\"\n"
     "    Word \"b\"\n"
     "toc level=0 \"A // b\"\n"},
    {"escaped comment and list",
     "\\// x\n\\1. y",
     "Main\n"
     "  Heading\n"
     "    Word space \"//\"\n"
     "    Word \"x\"\n"
     "  Heading\n"
     "    Word number \"1\"\n"
     "    Word space symbol \".\"\n"
     "    Word \"y\"\n"
     "toc level=0 \"// x\"\n"
     "toc level=0 \"1. y\"\n"},
    {"separator ends sections at its level",
     "A\n  p\n---\nB\n  ---\n  q",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "  Separator\n"
     "  Heading\n"
     "    Word \"B\"\n"
     "    Separator indent=2\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"q\"\n"
     "toc level=0 \"A\"\n"
     "toc level=0 \"B\"\n"},
    {"separator swallows its line",
     "--- rest of line\nA",
     "Separator\n"
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "toc level=0 \"A\"\n"},
    {"text after the document context",
     "``\ntitle: T\n``\nBody",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"T\"\n"
     "Main\n"
     "  Heading\n"
     "    Word \"Body\"\n"
     "toc level=0 \"Body\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"second context at the root replaces the first",
     "``\ntitle: A\n``\n``\ntitle: B\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"A\"\n"
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"B\"\n"
     "title 2:1\n"
     "document context 4:1\n"},
    {"context after text is a plain toggle",
     "Head\n``\n  inside\n``",
     "Main\n"
     "  Heading\n"
     "    Word \"Head\"\n"
     "  Context backquotes\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"inside\"\n"
     "toc level=0 \"Head\"\n"},
    {"trailing blanks lose the space flag",
     "A b   \n  p q \t\n",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word \"b\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word space \"p\"\n"
     "      Word \"q\"\n"
     "toc level=0 \"A b \"\n"},
    {"crlf and lone cr end lines",
     "A\r\n  p\rB",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "  Heading\n"
     "    Word \"B\"\n"
     "toc level=0 \"A\"\n"
     "toc level=0 \"B\"\n"},
    {"no final line feed keeps the last heading",
     "A\n  p\nLast words",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "  Heading\n"
     "    Word space \"Last\"\n"
     "    Word \"words\"\n"
     "toc level=0 \"A\"\n"
     "toc level=0 \"Last words\"\n"},
};

const TreeCase kListCases[] = {
    {"numbered list",
     "1. one\n2. two",
     "List \"1\" numbers\n"
     "  Item \"1\"\n"
     "    Word \"one\"\n"
     "  Item \"2\"\n"
     "    Word \"two\"\n"},
    {"lettered and word markers",
     "a. x\nb. y\nIntro. z",
     "List \"a\" letters\n"
     "  Item \"a\"\n"
     "    Word \"x\"\n"
     "  Item \"b\"\n"
     "    Word \"y\"\n"
     "List \"Intro\" letters\n"
     "  Item \"Intro\"\n"
     "    Word \"z\"\n"},
    {"dot markers nest by indentation",
     ". a\n  . b\n    1. c\n. d",
     "List \".\" dots\n"
     "  Item \".\"\n"
     "    Word \"a\"\n"
     "    List level=1 indent=2 \".\" nested dots\n"
     "      Item level=1 indent=2 \".\"\n"
     "        Word \"b\"\n"
     "        List level=2 indent=4 \"1\" numbers nested\n"
     "          Item level=2 indent=4 \"1\"\n"
     "            Word \"c\"\n"
     "  Item \".\"\n"
     "    Word \"d\"\n"},
    {"another marker kind starts a new list",
     "1. a\n. b\nc. d",
     "List \"1\" numbers\n"
     "  Item \"1\"\n"
     "    Word \"a\"\n"
     "List \".\" dots\n"
     "  Item \".\"\n"
     "    Word \"b\"\n"
     "List \"c\" letters\n"
     "  Item \"c\"\n"
     "    Word \"d\"\n"},
    {"next item on the same line",
     "1. a 2. b",
     "List \"1\" numbers\n"
     "  Item \"1\"\n"
     "    Word space \"a\"\n"
     "  Item indent=1 \"2\"\n"
     "    Word \"b\"\n"},
    {"inline list inside a line",
     "Steps 1. mix 2. bake",
     "Main\n"
     "  Heading\n"
     "    Word space \"Steps\"\n"
     "    List indent=1 \"1\" numbers inline-list\n"
     "      Item indent=1 \"1\"\n"
     "        Word space \"mix\"\n"
     "      Item indent=1 \"2\"\n"
     "        Word \"bake\"\n"
     "toc level=0 \"Steps \"\n"},
    {"text ends a list",
     "1. a\nText\n2. b",
     "List \"1\" numbers\n"
     "  Item \"1\"\n"
     "    Word \"a\"\n"
     "Main\n"
     "  Heading\n"
     "    Word \"Text\"\n"
     "  List \"2\" numbers\n"
     "    Item \"2\"\n"
     "      Word \"b\"\n"
     "toc level=0 \"Text\"\n"},
    {"blank lines keep a list",
     "1. a\n\n2. b",
     "List \"1\" numbers\n"
     "  Item \"1\"\n"
     "    Word \"a\"\n"
     "  Item \"2\"\n"
     "    Word \"b\"\n"},
    {"less indented marker starts its own list",
     "  1. a\n1. b",
     "List indent=2 \"1\" numbers\n"
     "  Item indent=2 \"1\"\n"
     "    Word \"a\"\n"
     "List \"1\" numbers\n"
     "  Item \"1\"\n"
     "    Word \"b\"\n"},
    {"marker needs a blank after its full stop",
     "e.g. x\nU.S. y\n3.5 z",
     "Main\n"
     "  Heading\n"
     "    Word \"e\"\n"
     "    Word symbol \".\"\n"
     "    Word \"g\"\n"
     "    Word space symbol \".\"\n"
     "    Word \"x\"\n"
     "  Heading\n"
     "    Word \"U\"\n"
     "    Word symbol \".\"\n"
     "    Word \"S\"\n"
     "    Word space symbol \".\"\n"
     "    Word \"y\"\n"
     "  Heading\n"
     "    Word space number \"3.5\"\n"
     "    Word \"z\"\n"
     "toc level=0 \"e.g. x\"\n"
     "toc level=0 \"U.S. y\"\n"
     "toc level=0 \"3.5 z\"\n"},
    {"word and full stop alone",
     "Done.",
     "List \"Done\" letters\n"
     "  Item \"Done\"\n"},
    {"list under a heading",
     "A\n  1. x\n  2. y\n  p",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    List indent=2 \"1\" numbers\n"
     "      Item indent=2 \"1\"\n"
     "        Word \"x\"\n"
     "      Item indent=2 \"2\"\n"
     "        Word \"y\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "toc level=0 \"A\"\n"},
    {"number and full stop inside a paragraph line",
     "A\n  go 1. x",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word space \"go\"\n"
     "      List indent=1 \"1\" numbers inline-list\n"
     "        Item indent=1 \"1\"\n"
     "          Word \"x\"\n"
     "toc level=0 \"A\"\n"},
};

const TreeCase kTableCases[] = {
    {"table with header and two rows",
     "|---\n| Name | Age\n|---\n| Bob | 42\n|---\n| Al | 7",
     "Table\n"
     "  TableHeaderColumn\n"
     "    Word \"Name\"\n"
     "    TableEntry\n"
     "      Word \"Bob\"\n"
     "    TableEntry level=1\n"
     "      Word \"Al\"\n"
     "  TableHeaderColumn level=1\n"
     "    Word \"Age\"\n"
     "    TableEntry\n"
     "      Word number \"42\"\n"
     "    TableEntry level=1\n"
     "      Word number \"7\"\n"},
    {"table rule line must start with three hyphens",
     "| a | b\nnext",
     "Main\n"
     "  Heading indent=1\n"
     "    Word space \"a\"\n"
     "    Word space \"|\"\n"
     "    Word \"b\"\n"
     "  Heading\n"
     "    Word \"next\"\n"
     "toc level=0 \"a | b\"\n"
     "toc level=0 \"next\"\n"
     "error 1:1 Unexpected \"|\" token.\n"},
    {"escaped hyphens do not make a rule",
     "|\\---\n",
     "Main\n"
     "  Heading\n"
     "    Word \"---\"\n"
     "toc level=0 \"---\"\n"
     "error 1:1 Unexpected \"|\" token.\n"},
    {"side by side tables",
     "|---      |---\n| A | B   | C\n|---      |---\n| 1 | 2   | 3",
     "Table columns side\n"
     "  TableHeaderColumn\n"
     "    Word \"A\"\n"
     "    TableEntry\n"
     "      Word number \"1\"\n"
     "  TableHeaderColumn level=1\n"
     "    Word \"B\"\n"
     "    TableEntry\n"
     "      Word number \"2\"\n"
     "  Table level=1 indent=6 columns side\n"
     "    TableHeaderColumn\n"
     "      Word \"C\"\n"
     "      TableEntry\n"
     "        Word number \"3\"\n"},
    {"header continued and cell continued",
     "|---\n| Long | x\n| name |\n|---\n| a\n| b | c",
     "Table\n"
     "  TableHeaderColumn\n"
     "    Word space \"Long\"\n"
     "    Word \"name\"\n"
     "    TableEntry\n"
     "      Word space \"a\"\n"
     "      Word \"b\"\n"
     "  TableHeaderColumn level=1\n"
     "    Word \"x\"\n"
     "    TableEntry\n"
     "      Word \"c\"\n"},
    {"trailing pipes open no cell",
     "|---|\n| a | b |\n|---|\n| 1 | 2 |",
     "Table\n"
     "  TableHeaderColumn\n"
     "    Word \"a\"\n"
     "    TableEntry\n"
     "      Word number \"1\"\n"
     "  TableHeaderColumn level=1\n"
     "    Word \"b\"\n"
     "    TableEntry\n"
     "      Word number \"2\"\n"},
    {"row with more cells than the header",
     "|---\n| h\n|---\n| 1 | 2",
     "Table\n"
     "  TableHeaderColumn\n"
     "    Word \"h\"\n"
     "    TableEntry\n"
     "      Word number \"1\"\n"
     "  TableHeaderColumn level=1\n"
     "    TableEntry\n"
     "      Word number \"2\"\n"},
    {"dash in a header cell",
     "|---\n| - | a-b\n|---\n| - |",
     "Table\n"
     "  TableHeaderColumn\n"
     "    Word header-dash \"-\"\n"
     "    TableEntry\n"
     "      Word \"-\"\n"
     "  TableHeaderColumn level=1\n"
     "    Word \"a\"\n"
     "    Word header-dash \"-\"\n"
     "    Word \"b\"\n"},
    {"table ends at a line without pipe",
     "A\n  |---\n  | h\n  |---\n  | 1\n  after",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Table indent=2\n"
     "      TableHeaderColumn\n"
     "        Word \"h\"\n"
     "        TableEntry\n"
     "          Word number \"1\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"after\"\n"
     "toc level=0 \"A\"\n"},
    {"comment inside a table",
     "|---\n| h\n// note\n|---\n| 1",
     "Table\n"
     "  TableHeaderColumn\n"
     "    Word \"h\"\n"
     "    TableEntry\n"
     "      Word number \"1\"\n"},
    {"rule line right after the opening rule",
     "|---\n|---\n| 1 | 2",
     "Table\n"
     "  TableHeaderColumn\n"
     "    TableEntry\n"
     "      Word number \"1\"\n"
     "  TableHeaderColumn level=1\n"
     "    TableEntry\n"
     "      Word number \"2\"\n"},
    {"inline constructs in cells",
     "|---\n| _b_ | `c` | [x]\n|---\n| \"https://x.org\" |",
     "Table\n"
     "  TableHeaderColumn\n"
     "    Word strong-open green \"_\"\n"
     "    Word \"b\"\n"
     "    Word strong-close \"_\"\n"
     "    TableEntry\n"
     "      Word quoted text url \"https://x.org\"\n"
     "  TableHeaderColumn level=1\n"
     "    UnformatedText\n"
     "      Word \"c\"\n"
     "  TableHeaderColumn level=2\n"
     "    Checkbox ticked\n"
     "url \"https://x.org\" 4:3\n"},
};

const TreeCase kQuoteCases[] = {
    {"quote lines continue one quote",
     "> Title\n>  first line\n>  second line\nafter",
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"Title\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word space \"first\"\n"
     "      Word \"line\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word space \"second\"\n"
     "      Word \"line\"\n"
     "Main\n"
     "  Heading\n"
     "    Word \"after\"\n"
     "toc level=0 \"after\"\n"},
    {"nested quote by marker count",
     "> a\n> > b\n>> c\n>  d",
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"a\"\n"
     "  Quote level=1 indent=1\n"
     "    Heading indent=1\n"
     "      Word \"b\"\n"
     "    Heading indent=1\n"
     "      Word \"c\"\n"
     "  Paragraph level=1 indent=2\n"
     "    Word \"d\"\n"},
    {"blank line ends a quote",
     "> a\n\n> b",
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"a\"\n"
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"b\"\n"},
    {"angle bracket of the other way",
     "< reply",
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"reply\"\n"},
    {"list inside a quote",
     ">  1. x\n>  2. y",
     "Quote\n"
     "  List indent=2 \"1\" numbers\n"
     "    Item indent=2 \"1\"\n"
     "      Word \"x\"\n"
     "    Item indent=2 \"2\"\n"
     "      Word \"y\"\n"},
    {"quote under a heading",
     "A\n  >  q\n  p",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Quote indent=2\n"
     "      Paragraph level=1 indent=2\n"
     "        Word \"q\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "toc level=0 \"A\"\n"},
    {"quoted headings stay out of the table of content, in a toggle too",
     "Top\n``\n> quoted\n>  words\n``\nafter",
     "Main\n"
     "  Heading\n"
     "    Word \"Top\"\n"
     "  Context backquotes\n"
     "    Quote\n"
     "      Heading indent=1\n"
     "        Word \"quoted\"\n"
     "        Paragraph level=1 indent=2\n"
     "          Word \"words\"\n"
     "  Heading\n"
     "    Word \"after\"\n"
     "toc level=0 \"Top\"\n"
     "toc level=0 \"after\"\n"},
    {"a toggle inside a quote closes with its pair",
     "> Said\n> ``\n>   more\n> ``\n> after",
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"Said\"\n"
     "  Context indent=1 backquotes\n"
     "    Paragraph level=1 indent=3\n"
     "      Word \"more\"\n"
     "  Heading indent=1\n"
     "    Word \"after\"\n"},
    {"a deeper quote inside a quoted toggle stays in the toggle",
     "> q\n> ``\n> > deeper\n>   para\n> ``\n> after",
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"q\"\n"
     "  Context indent=1 backquotes\n"
     "    Quote level=1 indent=1\n"
     "      Heading indent=1\n"
     "        Word \"deeper\"\n"
     "    Paragraph level=1 indent=3\n"
     "      Word \"para\"\n"
     "  Heading indent=1\n"
     "    Word \"after\"\n"},
    {"a quoted pair does not close a toggle opened outside the quote",
     "A\n``\n>``\n> x\n``\nB",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "  Context backquotes\n"
     "    Quote\n"
     "      Context backquotes\n"
     "        Heading indent=1\n"
     "          Word \"x\"\n"
     "  Heading\n"
     "    Word \"B\"\n"
     "toc level=0 \"A\"\n"
     "toc level=0 \"B\"\n"},
    {"escaped marker is text",
     "\\> not a quote",
     "Main\n"
     "  Heading\n"
     "    Word space \">\"\n"
     "    Word space \"not\"\n"
     "    Word space \"a\"\n"
     "    Word \"quote\"\n"
     "toc level=0 \"> not a quote\"\n"},
    {"code block inside a quote: the markers are not code",
     "> said\n> ```sh\n> ls\n>   x\n>\n> ```\n> after",
     "Quote\n"
     "  Heading indent=1\n"
     "    Word \"said\"\n"
     "  Block indent=1\n"
     "    Word \"ls\"\n"
     "    Word \"\\n\"\n"
     "    Word space \"  \"\n"
     "    Word \"x\"\n"
     "    Word \"\\n\"\n"
     "    Word \"\\n\"\n"
     "  Heading indent=1\n"
     "    Word \"after\"\n"},
    {"markers beyond the quote's are code; fewer end the block",
     "> > ```\n> > > x\n> y\nz",
     "Quote\n"
     "  Quote level=1 indent=1\n"
     "    Block indent=1\n"
     "      Word \">\"\n"
     "      Word space \" \"\n"
     "      Word \"x\"\n"
     "      Word \"\\n\"\n"
     "  Heading indent=1\n"
     "    Word \"y\"\n"
     "Main\n"
     "  Heading\n"
     "    Word \"z\"\n"
     "toc level=0 \"z\"\n"},
};

const TreeCase kCodeCases[] = {
    {"code block trims its indentation",
     "    ```\n      a < b\n    ```\nafter",
     "Block indent=4\n"
     "  Word space \"  \"\n"
     "  Word \"a\"\n"
     "  Word space \" \"\n"
     "  Word \"<\"\n"
     "  Word space \" \"\n"
     "  Word \"b\"\n"
     "  Word \"\\n\"\n"
     "Main\n"
     "  Heading\n"
     "    Word \"after\"\n"
     "toc level=0 \"after\"\n"},
    {"info string is not content",
     "```kav ignored\nx\n```",
     "Block\n"
     "  Word \"x\"\n"
     "  Word \"\\n\"\n"},
    {"unterminated code block runs to the end",
     "```\na\n\nb",
     "Block\n"
     "  Word \"a\"\n"
     "  Word \"\\n\"\n"
     "  Word \"\\n\"\n"
     "  Word \"b\"\n"},
    {"escaped fence is content and backslashes stay",
     "```\n\\``` \\n \\\\\n```",
     "Block\n"
     "  Word \"```\"\n"
     "  Word space \" \"\n"
     "  Word \"\\\\\"\n"
     "  Word \"n\"\n"
     "  Word space \" \"\n"
     "  Word \"\\\\\"\n"
     "  Word \"\\\\\"\n"
     "  Word \"\\n\"\n"},
    {"content shorter than the indentation",
     "  ```\n x\n\n  ```",
     "Block indent=2\n"
     "  Word \"x\"\n"
     "  Word \"\\n\"\n"
     "  Word \"\\n\"\n"},
    {"code block under a heading",
     "A\n  ```\n  c\n  ```\n  p",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Block indent=2\n"
     "      Word \"c\"\n"
     "      Word \"\\n\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"p\"\n"
     "toc level=0 \"A\"\n"},
};

const TreeCase kContextCases[] = {
    {"document context holds keys and text",
     "``\ntitle: Hello\n  An excerpt line\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"Hello\"\n"
     "  Paragraph level=1 indent=2 doc\n"
     "    Word space \"An\"\n"
     "    Word space \"excerpt\"\n"
     "    Word \"line\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"nested block contexts close by indentation",
     "A\n``\n  outer\n  ``\n    inner\n  ``\n  outer again\n``\nB",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "  Context backquotes\n"
     "    Paragraph level=1 indent=2\n"
     "      Word \"outer\"\n"
     "    Context level=1 indent=2 backquotes\n"
     "      Paragraph level=1 indent=4\n"
     "        Word \"inner\"\n"
     "    Paragraph level=1 indent=2\n"
     "      Word space \"outer\"\n"
     "      Word \"again\"\n"
     "  Heading\n"
     "    Word \"B\"\n"
     "toc level=0 \"A\"\n"
     "toc level=0 \"B\"\n"},
    {"levels inside a context count from its indentation",
     "A\n  ``\n  Head\n    para\n      Sub\n        deep\n    later para\n  ``",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "    Context level=1 indent=2 backquotes\n"
     "      Heading indent=2\n"
     "        Word \"Head\"\n"
     "        Paragraph level=1 indent=4\n"
     "          Word \"para\"\n"
     "        Heading level=2 indent=6\n"
     "          Word \"Sub\"\n"
     "          Paragraph level=3 indent=8\n"
     "            Word \"deep\"\n"
     "        Paragraph level=1 indent=4\n"
     "          Word space \"later\"\n"
     "          Word \"para\"\n"
     "toc level=0 \"A\"\n"
     "toc level=0 \"Head\"\n"
     "toc level=2 \"Sub\"\n"},
    {"later branch of a context gets its own lines",
     "``\nH0a\n    H2x\nH0b\n    H2y\n      p3\n``",
     "ContextDocument backquotes\n"
     "  Heading doc\n"
     "    Word \"H0a\"\n"
     "    Heading level=2 indent=4 doc\n"
     "      Word \"H2x\"\n"
     "  Heading doc\n"
     "    Word \"H0b\"\n"
     "    Heading level=2 indent=4 doc\n"
     "      Word \"H2y\"\n"
     "      Paragraph level=3 indent=6 doc\n"
     "        Word \"p3\"\n"
     "toc level=0 \"H0a\"\n"
     "toc level=2 \"H2x\"\n"
     "toc level=0 \"H0b\"\n"
     "toc level=2 \"H2y\"\n"
     "document context 1:1\n"},
    {"pipe separates keys on one line",
     "``\ntitle: T | author: Me\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"T\"\n"
     "  ReservedContextKeyword \"author\"\n"
     "    Word \"Me\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"pipe separates text lines in a context",
     "``\none | two\n``",
     "ContextDocument backquotes\n"
     "  Heading doc\n"
     "    Word \"one\"\n"
     "  Heading indent=1 doc\n"
     "    Word \"two\"\n"
     "toc level=0 \"one \"\n"
     "toc level=0 \"two\"\n"
     "document context 1:1\n"},
    {"unclosed context ends with the document",
     "``\ntitle: x\n  text",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"x\"\n"
     "  Paragraph level=1 indent=2 doc\n"
     "    Word \"text\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"key lines under a heading in a context",
     "``\nNotes\n  p\ncategory: c\n``",
     "ContextDocument backquotes\n"
     "  Heading doc\n"
     "    Word \"Notes\"\n"
     "    Paragraph level=1 indent=2 doc\n"
     "      Word \"p\"\n"
     "  ReservedContextKeyword \"category\"\n"
     "    Word \"c\"\n"
     "toc level=0 \"Notes\"\n"
     "document context 1:1\n"},
};

const TreeCase kInlineCases[] = {
    {"strong and emphasis markers",
     "A _bold words_ and __em__ here",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word strong-open green \"_\"\n"
     "    Word space \"bold\"\n"
     "    Word \"words\"\n"
     "    Word space strong-close \"_\"\n"
     "    Word space \"and\"\n"
     "    Word em-open em-mark \"__\"\n"
     "    Word \"em\"\n"
     "    Word space em-close \"__\"\n"
     "    Word \"here\"\n"
     "toc level=0 \"A bold words and em here\"\n"},
    {"underscore between words is text",
     "snake_case and a __ b",
     "Main\n"
     "  Heading\n"
     "    Word \"snake\"\n"
     "    Word \"_\"\n"
     "    Word space \"case\"\n"
     "    Word space \"and\"\n"
     "    Word space \"a\"\n"
     "    Word space \"__\"\n"
     "    Word \"b\"\n"
     "toc level=0 \"snake_case and a __ b\"\n"},
    {"underscore before quoted text",
     "A _\"plain text\" b",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space text \"plain text\"\n"
     "    Word \"b\"\n"
     "toc level=0 \"A plain text b\"\n"},
    {"markers around numbers and quotes",
     "_42_ __\"q\"__",
     "Main\n"
     "  Heading\n"
     "    Word strong-open green \"_\"\n"
     "    Word number \"42\"\n"
     "    Word space strong-close \"_\"\n"
     "    Word em-open em-mark \"__\"\n"
     "    Word quoted text \"q\"\n"
     "    Word em-close \"__\"\n"
     "toc level=0 \"42 q\"\n"},
    {"inline code escapes angle brackets",
     "A `x<y> && z` b",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    UnformatedText space\n"
     "      Word \"x\"\n"
     "      Word \"&lt;\" value=\"<\"\n"
     "      Word \"y\"\n"
     "      Word \"&gt;\" value=\">\"\n"
     "      Word space \" \"\n"
     "      Word symbol \"&\"\n"
     "      Word symbol \"&\"\n"
     "      Word space \" \"\n"
     "      Word \"z\"\n"
     "    Word \"b\"\n"
     "toc level=0 \"A b\"\n"},
    {"inline code keeps backslashes",
     "A `a\\`b\\n` c",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    UnformatedText space\n"
     "      Word \"a\"\n"
     "      Word \"`\"\n"
     "      Word \"b\"\n"
     "      Word \"\\\\\"\n"
     "      Word \"n\"\n"
     "    Word \"c\"\n"
     "toc level=0 \"A c\"\n"},
    {"unclosed inline code runs on",
     "A `x\nB",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    UnformatedText\n"
     "      Word \"x\"\n"
     "      Word \"\\n\"\n"
     "      Word \"B\"\n"
     "toc level=0 \"A \"\n"},
    {"checkboxes",
     "A [x] [ X ] [] [ ] [y]",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Checkbox space ticked\n"
     "    Checkbox space ticked\n"
     "    Checkbox space\n"
     "    Checkbox space\n"
     "    Word \"y\"\n"
     "toc level=0 \"A y\"\n"},
    {"embedded html",
     "A ~{<b>x</b>}~ b ~{<i>\n</i>}~",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    EmbeddedHtml space \"<b>x</b>\"\n"
     "    Word space \"b\"\n"
     "    EmbeddedHtml \"<i>\\n</i>\"\n"
     "toc level=0 \"A b \"\n"},
    {"escaped constructs are text",
     "A \\[x\\] \\`c\\` \\_ \\~{ \\\\ end",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word \"[\"\n"
     "    Word \"x\"\n"
     "    Word space \"]\"\n"
     "    Word \"`\"\n"
     "    Word \"c\"\n"
     "    Word space \"`\"\n"
     "    Word space \"_\"\n"
     "    Word space \"~{\"\n"
     "    Word space \"\\\\\"\n"
     "    Word \"end\"\n"
     "toc level=0 \"A [x] `c` _ ~{ \\\\ end\"\n"},
    {"inline context parts",
     "A ``one two | three`` b",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Context indent=1 space backquotes inline\n"
     "      Word space in-context \"one\"\n"
     "      Word space in-context \"two\"\n"
     "      Word in-context \"three\"\n"
     "    Word \"b\"\n"
     "toc level=0 \"A b\"\n"},
    {"inline context closes at line end",
     "A ``x\nB",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Context indent=1 backquotes inline\n"
     "      Word in-context \"x\"\n"
     "  Heading\n"
     "    Word \"B\"\n"
     "toc level=0 \"A \"\n"
     "toc level=0 \"B\"\n"},
    {"stray closing tokens",
     "A ] b }~ c",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space red \"]\"\n"
     "    Word space \"b\"\n"
     "    Word space red \"}~\"\n"
     "    Word \"c\"\n"
     "toc level=0 \"A ] b }~ c\"\n"
     "warning 1:3 Unexpected \"]\" token.\n"
     "warning 1:7 Unexpected \"}~\" token.\n"},
    {"unterminated string keeps its text",
     "A \"open text\nB",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word quoted text \"open text\\nB\"\n"
     "toc level=0 \"A open text\\nB\"\n"},
    {"one backslash written as two",
     "A \\\\_x_",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word \"\\\\\"\n"
     "    Word strong-open green \"_\"\n"
     "    Word \"x\"\n"
     "    Word strong-close \"_\"\n"
     "toc level=0 \"A \\\\x\"\n"},
};

const TreeCase kLinkCases[] = {
    {"bracket group keeps the space after it",
     "A [plain words] b",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space \"plain\"\n"
     "    Word space \"words\"\n"
     "    Word \"b\"\n"
     "toc level=0 \"A plain words b\"\n"},
    {"quoted url is a link",
     "see \"https://example.com/a\" now",
     "Main\n"
     "  Heading\n"
     "    Word space \"see\"\n"
     "    Word space quoted text url \"https://example.com/a\"\n"
     "    Word \"now\"\n"
     "url \"https://example.com/a\" 1:5\n"
     "toc level=0 \"see https://example.com/a now\"\n"},
    {"url with a description",
     "A \"https://x.org\"(the site) b",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space quoted text url \"https://x.org\"\n"
     "      Desc\n"
     "        Word space \"the\"\n"
     "        Word \"site\"\n"
     "    Word \"b\"\n"
     "url \"https://x.org\" 1:3\n"
     "toc level=0 \"A https://x.org b\"\n"},
    {"local paths are file words",
     "A \"/doc/a.pdf\" \"C:/x.txt\" \"rel/b.txt\"",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space quoted text \"/doc/a.pdf\"\n"
     "    Word space quoted text \"C:/x.txt\"\n"
     "    Word quoted text \"rel/b.txt\"\n"
     "file \"/doc/a.pdf\" 1:3\n"
     "file \"C:/x.txt\" 1:16\n"
     "toc level=0 \"A /doc/a.pdf C:/x.txt rel/b.txt\"\n"},
    {"quoted text with a space is no link",
     "A \"https://x.org/a b\"",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word quoted text \"https://x.org/a b\"\n"
     "toc level=0 \"A https://x.org/a b\"\n"},
    {"image inside brackets",
     "A [_\"/img/cat.jpg\"(\"A cat\" 300x200)] b",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space text image \"/img/cat.jpg\"\n"
     "      Desc\n"
     "        Word space quoted text \"A cat\"\n"
     "        Word number \"300x200\"\n"
     "    Word \"b\"\n"
     "file \"/img/cat.jpg\" 1:4\n"
     "toc level=0 \"A /img/cat.jpg b\"\n"},
    {"url image",
     "[_\"https://x.org/i.png\"]",
     "Main\n"
     "  Heading\n"
     "    Word text url image \"https://x.org/i.png\"\n"
     "url \"https://x.org/i.png\" 1:2\n"
     "toc level=0 \"https://x.org/i.png\"\n"},
    {"underscore link outside brackets is not an image",
     "A _\"https://x.org\"",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word text url \"https://x.org\"\n"
     "url \"https://x.org\" 1:3\n"
     "toc level=0 \"A https://x.org\"\n"},
    {"footnote reference follows its word",
     "Word[*1] and [*2]",
     "Main\n"
     "  Heading\n"
     "    Word \"Word\"\n"
     "      FootNoteReference level=1 space\n"
     "    Word \"and\"\n"
     "      FootNoteReference level=2\n"
     "toc level=0 \"Wordand \"\n"},
    {"footnote text at the start of a line",
     "A\n[*1] the note _x_\n  [ *2 ] second",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "note\n"
     "  FootNote level=1\n"
     "    Word space \"the\"\n"
     "    Word space \"note\"\n"
     "    Word strong-open green \"_\"\n"
     "    Word \"x\"\n"
     "    Word strong-close \"_\"\n"
     "note\n"
     "  FootNote level=2\n"
     "    Word \"second\"\n"
     "toc level=0 \"A\"\n"},
    {"reference number larger than a byte",
     "A[*300]",
     "Main\n"
     "  Heading\n"
     "    Word \"A\"\n"
     "      FootNoteReference level=255\n"
     "toc level=0 \"A\"\n"
     "warning 1:4 Number \"300\" is larger than 255.\n"},
    {"link target labels its line",
     "A [#3_]\n  p [#4_]",
     "Main\n"
     "  Heading target\n"
     "    Word \"A\"\n"
     "    Paragraph level=1 indent=2 target\n"
     "      Word \"p\"\n"
     "target 3 -> Heading 1:1\n"
     "target 4 -> Paragraph 2:3\n"
     "toc level=0 \"A \"\n"},
    {"link references",
     "A [#3] b [#4(see there)] c",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    InternalLinkReference level=3 space\n"
     "    Word space \"b\"\n"
     "    InternalLinkReference level=4 space\n"
     "      Desc\n"
     "        Word space \"see\"\n"
     "        Word \"there\"\n"
     "    Word \"c\"\n"
     "toc level=0 \"A b c\"\n"},
    {"unclosed bracket ends with the line",
     "A [x y\nB [*1 z\nC",
     "Main\n"
     "  Heading\n"
     "    Word space \"A\"\n"
     "    Word space \"x\"\n"
     "    Word \"y\"\n"
     "  Heading\n"
     "    Word \"B\"\n"
     "      FootNoteReference level=1\n"
     "  Heading\n"
     "    Word \"C\"\n"
     "toc level=0 \"A x y\"\n"
     "toc level=0 \"B \"\n"
     "toc level=0 \"C\"\n"},
    {"description ends at the line end",
     "\"https://x.org\"(open\nB",
     "Main\n"
     "  Heading\n"
     "    Word quoted text url \"https://x.org\"\n"
     "      Desc\n"
     "        Word \"open\"\n"
     "  Heading\n"
     "    Word \"B\"\n"
     "url \"https://x.org\" 1:1\n"
     "toc level=0 \"https://x.org\"\n"
     "toc level=0 \"B\"\n"},
};

const TreeCase kMetadataCases[] = {
    {"key matched ignoring case and blanks before the colon",
     "``\nTitle : Hello\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"Hello\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"title twice: the first one counts",
     "``\ntitle: One\ntitle: Two\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"One\"\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"Two\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"status after a blank",
     "``\nstatus: \tdraft later\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"status\"\n"
     "    Word space \"draft\"\n"
     "    Word \"later\"\n"
     "status \"draft\"\n"
     "document context 1:1\n"},
    {"quoted status and a later status replaces it",
     "``\nstatus: \"draft\"\nstatus: published\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"status\"\n"
     "    Word quoted text \"draft\"\n"
     "  ReservedContextKeyword \"status\"\n"
     "    Word \"published\"\n"
     "status \"published\"\n"
     "document context 1:1\n"},
    {"empty status value",
     "``\nstatus:\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"status\"\n"
     "document context 1:1\n"},
    {"author_link spans three tokens",
     "``\nauthor_link: \"https://x.org\"\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"author_link\"\n"
     "    Word quoted text url \"https://x.org\"\n"
     "url \"https://x.org\" 2:14\n"
     "document context 1:1\n"},
    {"a number and a full stop in a value are text, not a list",
     "``\ntitle: Chapter 1. Intro\nsummary: 1. mix 2. bake\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word space \"Chapter\"\n"
     "    Word number \"1\"\n"
     "    Word space symbol \".\"\n"
     "    Word \"Intro\"\n"
     "  ReservedContextKeyword \"summary\"\n"
     "    Word number \"1\"\n"
     "    Word space symbol \".\"\n"
     "    Word space \"mix\"\n"
     "    Word number \"2\"\n"
     "    Word space symbol \".\"\n"
     "    Word \"bake\"\n"
     "title 2:1\n"
     "document context 1:1\n"},
    {"unknown key stays text",
     "``\ntitles: x\n``",
     "ContextDocument backquotes\n"
     "  Heading doc\n"
     "    Word \"titles\"\n"
     "    Word space symbol \":\"\n"
     "    Word \"x\"\n"
     "toc level=0 \"titles: x\"\n"
     "document context 1:1\n"},
    {"colon after a backquote pair is no key line",
     "``\ntitle `` : x\n``",
     "ContextDocument backquotes\n"
     "  Heading doc\n"
     "    Word space \"title\"\n"
     "    Context indent=1 backquotes inline\n"
     "      Word space symbol in-context \":\"\n"
     "      Word in-context \"x\"\n"
     "toc level=0 \"title \"\n"
     "document context 1:1\n"},
    {"colon on a later line is no key line",
     "``\ntitle\n: x\n``",
     "ContextDocument backquotes\n"
     "  Heading doc\n"
     "    Word \"title\"\n"
     "  Heading doc\n"
     "    Word space symbol \":\"\n"
     "    Word \"x\"\n"
     "toc level=0 \"title\"\n"
     "toc level=0 \": x\"\n"
     "document context 1:1\n"},
    {"string does not start a key",
     "``\n\"title\": x\n``",
     "ContextDocument backquotes\n"
     "  Heading doc\n"
     "    Word quoted text \"title\"\n"
     "    Word space symbol \":\"\n"
     "    Word \"x\"\n"
     "toc level=0 \"title: x\"\n"
     "document context 1:1\n"},
    {"keys only inside contexts",
     "title: x",
     "Main\n"
     "  Heading\n"
     "    Word \"title\"\n"
     "    Word space symbol \":\"\n"
     "    Word \"x\"\n"
     "toc level=0 \"title: x\"\n"},
    {"all twelve keys",
     "``\nauthor: a\nauthor_link: b\noutput_path: c.html\ncreation_date: 2024-01-02\nlast_modification_date: 2024-02-03\nremark: r\nincludes: i\ntitle: t\nstatus: s\nexcerpt: e\nsummary: m\ncategory: g\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"author\"\n"
     "    Word \"a\"\n"
     "  ReservedContextKeyword \"author_link\"\n"
     "    Word \"b\"\n"
     "  ReservedContextKeyword \"output_path\"\n"
     "    Word \"c.html\"\n"
     "  ReservedContextKeyword \"creation_date\"\n"
     "    Word number \"2024\"\n"
     "    Word \"-\"\n"
     "    Word number \"01\"\n"
     "    Word \"-\"\n"
     "    Word number \"02\"\n"
     "  ReservedContextKeyword \"last_modification_date\"\n"
     "    Word number \"2024\"\n"
     "    Word \"-\"\n"
     "    Word number \"02\"\n"
     "    Word \"-\"\n"
     "    Word number \"03\"\n"
     "  ReservedContextKeyword \"remark\"\n"
     "    Word \"r\"\n"
     "  ReservedContextKeyword \"includes\"\n"
     "    Word \"i\"\n"
     "  ReservedContextKeyword \"title\"\n"
     "    Word \"t\"\n"
     "  ReservedContextKeyword \"status\"\n"
     "    Word \"s\"\n"
     "  ReservedContextKeyword \"excerpt\"\n"
     "    Word \"e\"\n"
     "  ReservedContextKeyword \"summary\"\n"
     "    Word \"m\"\n"
     "  ReservedContextKeyword \"category\"\n"
     "    Word \"g\"\n"
     "title 9:1\n"
     "status \"s\"\n"
     "document context 1:1\n"
     "output \"c.html\"\n"},
    {"unquoted output path is one path",
     "``\noutput_path: notes/a b.html \"q/x y.html\" https://x.org/p\n``",
     "ContextDocument backquotes\n"
     "  ReservedContextKeyword \"output_path\"\n"
     "    Word space \"notes/a\"\n"
     "    Word space \"b.html\"\n"
     "    Word space quoted text \"q/x y.html\"\n"
     "    Word url \"https://x.org/p\"\n"
     "url \"https://x.org/p\" 2:42\n"
     "document context 1:1\n"
     "output \"notes/a\"\n"
     "output \"b.html\"\n"
     "output \"q/x y.html\"\n"},
};

struct KavParserTest : KavArenaTest {
    void check(const TreeCase* cases, size_t count) {
        for (size_t k = 0; k < count; k += 1) {
            EXPECT_EQ(tree(cases[k].source), cases[k].tree) << "case: " << cases[k].name;
        }
    }
};

#define CHECK_CASES(table) check(table, sizeof(table) / sizeof(table[0]))

TEST_F(KavParserTest, BlockLevelLines) { CHECK_CASES(kBlockCases); }
TEST_F(KavParserTest, Lists) { CHECK_CASES(kListCases); }
TEST_F(KavParserTest, Tables) { CHECK_CASES(kTableCases); }
TEST_F(KavParserTest, Quotes) { CHECK_CASES(kQuoteCases); }
TEST_F(KavParserTest, CodeBlocks) { CHECK_CASES(kCodeCases); }
TEST_F(KavParserTest, Contexts) { CHECK_CASES(kContextCases); }
TEST_F(KavParserTest, InlineConstructs) { CHECK_CASES(kInlineCases); }
TEST_F(KavParserTest, LinksNotesAndTargets) { CHECK_CASES(kLinkCases); }
TEST_F(KavParserTest, MetadataLines) { CHECK_CASES(kMetadataCases); }

// The row number is a byte: the cells of the rows after the 256th are added
// to that row's cells, with one warning.
TEST_F(KavParserTest, RowsAfterThe256thAddToItsCells) {
    std::string source = "|---\n| n\n";
    for (int row = 1; row <= 258; row += 1) source += "|---\n| " + std::to_string(row) + "\n";
    KavParseResult result = parse(source);
    KavNode* header = result.root->first->first;
    ASSERT_EQ(header->kind, (u32)KAV_NODE_TABLE_HEADER_COLUMN);
    EXPECT_EQ(header->child_count, 1u + 256u);  // its own word, then one entry per row
    KavNode* last = header->last;
    EXPECT_EQ(last->level, 255);
    std::string words;
    for (KavNode* w = last->first; !kav_node_is_nil(w); w = w->next) words += str(w->text) + " ";
    EXPECT_EQ(words, "256 257 258 ");
    EXPECT_EQ(result.diagnostics.count, 1u);
}

// Quotes keep their nesting in the tree however deep it goes; the first
// quote past the depth a page draws gets the one warning of the document.
TEST_F(KavParserTest, QuotesPastTheDrawnDepthAreWarnedOnce) {
    std::string source = std::string(40, '>') + " deep\n" + std::string(35, '>') + " again\n> back\n";
    KavParseResult result = parse(source);
    u64 depth = 0;
    for (KavNode* q = result.root->first; !kav_node_is_nil(q) && q->kind == KAV_NODE_QUOTE; q = q->first) depth += 1;
    EXPECT_EQ(depth, 40u);
    ASSERT_EQ(result.diagnostics.count, 1u);
    Diagnostic* d = result.diagnostics.first;
    EXPECT_EQ(str(d->message), "Quote nested more than 16 deep; it is shown in the quote at depth 16.");
    EXPECT_EQ(d->offset, (u64)KAV_QUOTE_LEVELS_SHOWN);  // at the 17th marker

    KavParseResult shallow = parse(std::string(KAV_QUOTE_LEVELS_SHOWN, '>') + " at the limit\n");
    EXPECT_EQ(shallow.diagnostics.count, 0u);
}

}  // namespace
