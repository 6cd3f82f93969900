#include "htmldom/html_tables.h"

// ---- Element table ---------------------------------------------------------

static constexpr HtmlElementInfo html_element_table[] = {
    {SC("details"), HTML_TAG_DETAILS, 2, SC("body;"), SC("")},
    {SC("summary"), HTML_TAG_SUMMARY, 2, SC("details;"), SC("")},
    {SC("meta"), HTML_TAG_META, 8, SC("head;"), SC("")},
    {SC("base"), HTML_TAG_BASE, 8, SC("head;"), SC("")},
    {SC("link"), HTML_TAG_LINK, 8, SC("head;body;"), SC("")},
    {SC("style"), HTML_TAG_STYLE, 1, SC("head;body;"), SC("")},
    {SC("script"), HTML_TAG_SCRIPT, 1, SC("head;body;"), SC("")},
    {SC("noscript"), HTML_TAG_NOSCRIPT, 2, SC("head;body;"), SC("")},
    {SC("header"), HTML_TAG_HEADER, 2, SC("body;section;article;aside;nav;header;footer;"), SC("")},
    {SC("nav"), HTML_TAG_NAV, 2, SC("body;section;article;aside;header;footer;"), SC("")},
    {SC("main"), HTML_TAG_MAIN, 2, SC("body;"), SC("")},
    {SC("pre"), HTML_TAG_PRE, 1, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("code"), HTML_TAG_CODE, 1, SC("body;section;article;aside;footer;header;nav;pre;p;"), SC("")},
    {SC("q"), HTML_TAG_Q, 2, SC("body;section;article;aside;footer;header;nav;pre;p;"), SC("")},
    {SC("section"), HTML_TAG_SECTION, 2, SC("body;article;aside;footer;header;nav;main;"), SC("")},
    {SC("article"), HTML_TAG_ARTICLE, 2, SC("body;section;aside;footer;header;nav;"), SC("")},
    {SC("aside"), HTML_TAG_ASIDE, 2, SC("body;section;article;footer;header;nav;"), SC("")},
    {SC("footer"), HTML_TAG_FOOTER, 2, SC("body;section;article;aside;nav"), SC("")},
    {SC("h1"), HTML_TAG_H1, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("h2"), HTML_TAG_H2, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("h3"), HTML_TAG_H3, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("h4"), HTML_TAG_H4, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("h5"), HTML_TAG_H5, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("h6"), HTML_TAG_H6, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("p"), HTML_TAG_P, 6, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("strong"), HTML_TAG_STRONG, 6, SC("p;"), SC("")},
    {SC("i"), HTML_TAG_I, 6, SC("p;"), SC("")},
    {SC("em"), HTML_TAG_EM, 6, SC("p;"), SC("")},
    {SC("u"), HTML_TAG_U, 6, SC("p;"), SC("")},
    {SC("hr"), HTML_TAG_HR, 8, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("br"), HTML_TAG_BR, 8, SC("body;section;article;aside;footer;header;nav;p;div;"), SC("")},
    {SC("blockquote"), HTML_TAG_BLOCKQUOTE, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("ol"), HTML_TAG_OL, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("ul"), HTML_TAG_UL, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("li"), HTML_TAG_LI, 2, SC("ul;ol;"), SC("")},
    {SC("dl"), HTML_TAG_DL, 2, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("dt"), HTML_TAG_DT, 2, SC("dl;"), SC("")},
    {SC("dd"), HTML_TAG_DD, 2, SC("dl;"), SC("")},
    {SC("div"), HTML_TAG_DIV, 2, SC("body;section;article;aside;footer;header;nav;a;"), SC("")},
    {SC("span"), HTML_TAG_SPAN, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("a"), HTML_TAG_A, 0, SC("body;section;article;aside;footer;header;nav;p;div;span;"), SC("")},
    {SC("img"), HTML_TAG_IMG, 8, SC("body;section;article;aside;footer;header;nav;div;a;"), SC("")},
    {SC("figure"), HTML_TAG_FIGURE, 6, SC("body;section;article;aside;footer;header;nav;"), SC("")},
    {SC("figcaption"), HTML_TAG_FIGCAPTION, 6, SC("figure;"), SC("")},
    {SC("table"), HTML_TAG_TABLE, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("thead"), HTML_TAG_THEAD, 2, SC("table;"), SC("")},
    {SC("tbody"), HTML_TAG_TBODY, 2, SC("table;"), SC("")},
    {SC("tfoot"), HTML_TAG_TFOOT, 6, SC("table;"), SC("")},
    {SC("tr"), HTML_TAG_TR, 6, SC("table;thead;tbody;tfoot;"), SC("")},
    {SC("th"), HTML_TAG_TH, 6, SC("tr;"), SC("")},
    {SC("td"), HTML_TAG_TD, 6, SC("tr;"), SC("")},
    {SC("form"), HTML_TAG_FORM, 0, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("input"), HTML_TAG_INPUT, 8, SC("form;"), SC("")},
    {SC("button"), HTML_TAG_BUTTON, 0, SC("form;body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("select"), HTML_TAG_SELECT, 0, SC("form;"), SC("")},
    {SC("option"), HTML_TAG_OPTION, 0, SC("select;"), SC("")},
    {SC("textarea"), HTML_TAG_TEXTAREA, 0, SC("form;"), SC("")},
    {SC("fieldset"), HTML_TAG_FIELDSET, 2, SC("form;"), SC("")},
    {SC("legend"), HTML_TAG_LEGEND, 2, SC("fieldset;"), SC("")},
    {SC("label"), HTML_TAG_LABEL, 2, SC("form;div;fieldset;"), SC("")},
    {SC("iframe"), HTML_TAG_IFRAME, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("canvas"), HTML_TAG_CANVAS, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("audio"), HTML_TAG_AUDIO, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("video"), HTML_TAG_VIDEO, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("path"), HTML_TAG_PATH, 8, SC("svg;"), SC("")},
    {SC("g"), HTML_TAG_G, 2, SC("svg;"), SC("")},
    {SC("svg"), HTML_TAG_SVG, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("time"), HTML_TAG_TIME, 2, SC("body;"), SC("")},
    {SC("source"), HTML_TAG_SOURCE, 8, SC("audio;video;picture;"), SC("")},
    {SC("sup"), HTML_TAG_SUP, 2, SC("body;section;article;aside;footer;header;nav;p;"), SC("")},
    {SC("track"), HTML_TAG_TRACK, 8, SC("audio;video;"), SC("")},
    {SC("template"), HTML_TAG_TEMPLATE, 2, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("embed"), HTML_TAG_EMBED, 8, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("object"), HTML_TAG_OBJECT, 6, SC("body;section;article;aside;footer;header;nav;div;"), SC("")},
    {SC("title"), HTML_TAG_TITLE, 2, SC("head;"), SC("")},
    {SC("!DOCTYPE"), HTML_TAG_DOCTYPE, 8, SC("root;"), SC("html;")},
    {SC("html"), HTML_TAG_HTML, 2, SC("root;"), SC("lang;")},
    {SC("head"), HTML_TAG_HEAD, 2, SC("html;"), SC("")},
    {SC("body"), HTML_TAG_BODY, 2, SC("html;"), SC("")},
};
static_assert(ARRAY_COUNT(html_element_table) == 79, "element table has 79 rows");

// ---- Attribute table -------------------------------------------------------

// "data-* " keeps its trailing blank so that it matches no real data
// attribute.
static constexpr HtmlAttributeInfo html_attribute_table[] = {
    {SC("accept"), HTML_ATTR_ACCEPT, HTML_VALUE_STRING, 0, SC("")},
    {SC("accept-charset"), HTML_ATTR_ACCEPT_CHARSET, HTML_VALUE_STRING, 0, SC("")},
    {SC("as"), HTML_ATTR_AS, HTML_VALUE_STRING, 0, SC("")},
    {SC("action"), HTML_ATTR_ACTION, HTML_VALUE_STRING, 0, SC("")},
    {SC("alt"), HTML_ATTR_ALT, HTML_VALUE_STRING, 0, SC("")},
    {SC("async"), HTML_ATTR_ASYNC, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("autoplay"), HTML_ATTR_AUTOPLAY, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("checked"), HTML_ATTR_CHECKED, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("cite"), HTML_ATTR_CITE, HTML_VALUE_STRING, 0, SC("")},
    {SC("class"), HTML_ATTR_CLASS, HTML_VALUE_STRING, 0, SC("")},
    {SC("colspan"), HTML_ATTR_COLSPAN, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("controls"), HTML_ATTR_CONTROLS, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("coords"), HTML_ATTR_COORDS, HTML_VALUE_STRING, 0, SC("")},
    {SC("content"), HTML_ATTR_CONTENT, HTML_VALUE_STRING, 0, SC("")},
    {SC("crossorigin"), HTML_ATTR_CROSSORIGIN, HTML_VALUE_STRING, 0, SC("")},
    {SC("charset"), HTML_ATTR_CHARSET, HTML_VALUE_STRING, 0, SC("")},
    {SC("data-* "), HTML_ATTR_DATA, HTML_VALUE_STRING, 0, SC("")},
    {SC("datetime"), HTML_ATTR_DATETIME, HTML_VALUE_STRING, 0, SC("")},
    {SC("d"), HTML_ATTR_D, HTML_VALUE_STRING, 0, SC("")},
    {SC("defer"), HTML_ATTR_DEFER, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("disabled"), HTML_ATTR_DISABLED, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("for"), HTML_ATTR_FOR, HTML_VALUE_STRING, 0, SC("")},
    {SC("is"), HTML_ATTR_IS, HTML_VALUE_STRING, 0, SC("")},
    {SC("fetchpriority"), HTML_ATTR_FETCHPRIORITY, HTML_VALUE_STRING, 0, SC("")},
    {SC("fill"), HTML_ATTR_FILL, HTML_VALUE_STRING, 0, SC("")},
    {SC("form"), HTML_ATTR_FORM, HTML_VALUE_STRING, 0, SC("")},
    {SC("formaction"), HTML_ATTR_FORMACTION, HTML_VALUE_STRING, 0, SC("")},
    {SC("headers"), HTML_ATTR_HEADERS, HTML_VALUE_STRING, 0, SC("")},
    {SC("html"), HTML_ATTR_HTML, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("height"), HTML_ATTR_HEIGHT, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("hidden"), HTML_ATTR_HIDDEN, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("href"), HTML_ATTR_HREF, HTML_VALUE_URL, 0, SC("")},
    {SC("hreflang"), HTML_ATTR_HREFLANG, HTML_VALUE_STRING, 0, SC("")},
    {SC("http-equiv"), HTML_ATTR_HTTP_EQUIV, HTML_VALUE_STRING, 0, SC("")},
    {SC("id"), HTML_ATTR_ID, HTML_VALUE_STRING, HTML_ATTRIBUTE_REPLACE, SC("")},
    {SC("inputmode"), HTML_ATTR_INPUTMODE, HTML_VALUE_STRING, 0, SC("")},
    {SC("itemtype"), HTML_ATTR_ITEMTYPE, HTML_VALUE_STRING, 0, SC("")},
    {SC("ismap"), HTML_ATTR_ISMAP, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("label"), HTML_ATTR_LABEL, HTML_VALUE_STRING, 0, SC("")},
    {SC("lang"), HTML_ATTR_LANG, HTML_VALUE_STRING, HTML_ATTRIBUTE_REPLACE, SC("en")},
    {SC("list"), HTML_ATTR_LIST, HTML_VALUE_STRING, 0, SC("")},
    {SC("link"), HTML_ATTR_LINK, HTML_VALUE_URL, 0, SC("")},
    {SC("loop"), HTML_ATTR_LOOP, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("low"), HTML_ATTR_LOW, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("maxlength"), HTML_ATTR_MAXLENGTH, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("minlength"), HTML_ATTR_MINLENGTH, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("media"), HTML_ATTR_MEDIA, HTML_VALUE_STRING, 0, SC("")},
    {SC("min"), HTML_ATTR_MIN, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("multiple"), HTML_ATTR_MULTIPLE, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("muted"), HTML_ATTR_MUTED, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("name"), HTML_ATTR_NAME, HTML_VALUE_STRING, 0, SC("")},
    {SC("novalidate"), HTML_ATTR_NOVALIDATE, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("nonce"), HTML_ATTR_NONCE, HTML_VALUE_STRING, 0, SC("")},
    {SC("optimum"), HTML_ATTR_OPTIMUM, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("pattern"), HTML_ATTR_PATTERN, HTML_VALUE_STRING, 0, SC("")},
    {SC("placeholder"), HTML_ATTR_PLACEHOLDER, HTML_VALUE_STRING, 0, SC("")},
    {SC("poster"), HTML_ATTR_POSTER, HTML_VALUE_STRING, 0, SC("")},
    {SC("property"), HTML_ATTR_PROPERTY, HTML_VALUE_STRING, 0, SC("")},
    {SC("readonly"), HTML_ATTR_READONLY, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("rel"), HTML_ATTR_REL, HTML_VALUE_STRING, 0, SC("")},
    {SC("required"), HTML_ATTR_REQUIRED, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("rows"), HTML_ATTR_ROWS, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("rowspan"), HTML_ATTR_ROWSPAN, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("sandbox"), HTML_ATTR_SANDBOX, HTML_VALUE_STRING, 0, SC("")},
    {SC("scope"), HTML_ATTR_SCOPE, HTML_VALUE_STRING, 0, SC("")},
    {SC("seamless"), HTML_ATTR_SEAMLESS, HTML_VALUE_BOOLEAN, 0, SC("")},
    {SC("size"), HTML_ATTR_SIZE, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("sizes"), HTML_ATTR_SIZES, HTML_VALUE_STRING, 0, SC("")},
    {SC("src"), HTML_ATTR_SRC, HTML_VALUE_URL, 0, SC("")},
    {SC("srcdoc"), HTML_ATTR_SRCDOC, HTML_VALUE_STRING, 0, SC("")},
    {SC("srclang"), HTML_ATTR_SRCLANG, HTML_VALUE_STRING, 0, SC("")},
    {SC("draggable"), HTML_ATTR_DRAGGABLE, HTML_VALUE_STRING, 0, SC("")},
    {SC("style"), HTML_ATTR_STYLE, HTML_VALUE_STYLE, 0, SC("")},
    {SC("tabindex"), HTML_ATTR_TABINDEX, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("target"), HTML_ATTR_TARGET, HTML_VALUE_STRING, 0, SC("")},
    {SC("title"), HTML_ATTR_TITLE, HTML_VALUE_STRING, 0, SC("")},
    {SC("data-title"), HTML_ATTR_DATA_TITLE, HTML_VALUE_STRING, 0, SC("")},
    {SC("type"), HTML_ATTR_TYPE, HTML_VALUE_STRING, 0, SC("")},
    {SC("value"), HTML_ATTR_VALUE, HTML_VALUE_STRING, 0, SC("")},
    {SC("viewbox"), HTML_ATTR_VIEWBOX, HTML_VALUE_STRING, 0, SC("")},
    {SC("width"), HTML_ATTR_WIDTH, HTML_VALUE_NUMBER, 0, SC("")},
    {SC("wrap"), HTML_ATTR_WRAP, HTML_VALUE_STRING, 0, SC("")},
    {SC("todo"), HTML_ATTR_TODO, HTML_VALUE_BOOLEAN, 0, SC("permit to print todos")},
    {SC("dontFetch"), HTML_ATTR_DONTFETCH, HTML_VALUE_BOOLEAN, 0, SC("permit to disable url checking when enabled")},
};
static_assert(ARRAY_COUNT(html_attribute_table) == 84, "attribute table has 84 rows");

// ---- Default-style table ---------------------------------------------------

static constexpr HtmlDefaultStyle html_default_style_table[] = {
    {HTML_TAG_P, SC("display:block;font-size:1em;line-height:1.4rem;margin-top:0.2em;")},
    {HTML_TAG_BODY, SC("display:inline-block;max-width:100vw;width:100vw;")},
    {HTML_TAG_PRE, SC("display:inline-block;background-color:#dbdada;border-radius:2px;width:fit-content;padding:1em "
                          "1.2em;white-space:pre;")},
    {HTML_TAG_A, SC("display:inline-block;width:fit-content;cursor:pointer;color:#5c5b8f;line-height:1.4em;margin-top:"
                        "0.5em;")},
    {HTML_TAG_H1, SC("display:block;font-size:2em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H2, SC("display:block;font-size:1.5em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H3, SC("display:block;font-size:1.2rem;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H4, SC("display:block;font-size:1.17em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H5, SC("display:block;font-size:1.11em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_STYLE, SC("display:none;")},
    {HTML_TAG_DIV, SC("overflow-wrap:break-word;display:flex;flex-direction:column;")},
    {HTML_TAG_UL, SC("display:flex;flex-direction:column;")},
    {HTML_TAG_TABLE, SC("box-shadow: 0 2px 4px rgba(0, 0, 0, 0.1);width:fit-content;border-collapse:collapse;text-align:"
                            "left;display:table;margin-top:0.5rem;margin-bottom:0.5rem;")},
    {HTML_TAG_THEAD, SC("display:table-header-group;background-color:#dbdada;")},
    {HTML_TAG_TR, SC("display:table-row;font-family:sans-serif;")},
    {HTML_TAG_TH, SC("display:table-cell;padding: 0.5em 1.1em;text-align:center;")},
    {HTML_TAG_TD, SC("display:table-cell;padding: 0.5em 1.1em;")},
    {HTML_TAG_TBODY, SC("display:table-row-group;")},
    {HTML_TAG_HR, SC("border-bottom: #cfc4c4 1px solid;margin-top:0.8em;")},
    {HTML_TAG_TITLE, SC("display:none;")},
    {HTML_TAG_BLOCKQUOTE, SC("")},
    {HTML_TAG_HTML, SC("font-size:17px;")},
    {HTML_TAG_EM, SC("font-style:italic;")},
    {HTML_TAG_STRONG, SC("font-weight:bold;")},
    {HTML_TAG_SPAN, SC("margin-top:0.5em;")},
    {HTML_TAG_CODE, SC("")},
    {HTML_TAG_BUTTON, SC("margin: 0 0.2em;padding:0.1em 0.3em;background-color:#dbdada; border:1px solid "
                             "grey;display:inline-block;cursor:pointer;text-align:center;font-family:Arial, "
                             "sans-serif;font-size:1em;width:fit-content;")},
    {HTML_TAG_INPUT, SC("cursor:pointer;min-width:1em;min-height:1em;")},
    {HTML_TAG_LI, SC("display:list-item;text-align:-webkit-match-parent;unicode-bidi:isolate;")},
    {HTML_TAG_OL, SC("list-style-position:inside;display:block;list-style-type:decimal;margin-block-start:0.2rem;"
                         "margin-block-end:0.2rem;padding-inline-start:0.5rem;")},
};
static_assert(ARRAY_COUNT(html_default_style_table) == 30, "default-style table has 30 rows");

// Rules written after the per-element rules, in this order.
static constexpr String html_trailing_rules[] = {
    SC("tbody tr:nth-child(even){background-color:#f5f5f594;}"),
    SC("td:not(:first-child),th:not(:first-child){border-left:#c3bfbf 1px solid;}"),
    SC("tr:not(:last-child){border-bottom:#c3bfbf 1px solid;}"),
    SC("thead{border:#6d6d6d 1px solid;}"),
    SC("tbody{border-left:#6d6d6d 1px solid;border-right:#6d6d6d 1px solid;border-bottom:#6d6d6d 1px solid;}"),
    SC("::selection {background-color:#c3baa4;color:black;}"),
};
static_assert(ARRAY_COUNT(html_trailing_rules) == 6, "six trailing rules");

// Lookups by id index the tables directly: ids are the row numbers.
static constexpr bool html_ids_follow_rows() {
    for (u64 i = 0; i < ARRAY_COUNT(html_element_table); i += 1) {
        if (html_element_table[i].tag != i + 1) return false;
    }
    for (u64 i = 0; i < ARRAY_COUNT(html_attribute_table); i += 1) {
        if (html_attribute_table[i].id != i) return false;
    }
    return true;
}
static_assert(html_ids_follow_rows(), "tag and attribute ids are the row numbers");
static_assert(HTML_TAG_COUNT == ARRAY_COUNT(html_element_table), "one tag id per element row");
static_assert(HTML_ATTR_COUNT == ARRAY_COUNT(html_attribute_table), "one attribute id per attribute row");

// Empty but never null strings, so that formatting a nil row's fields is safe.
constinit const HtmlElementInfo html_nil_element_info = {SC(""), 0, 0, SC(""), SC("")};
constinit const HtmlAttributeInfo html_nil_attribute_info = {SC(""), 0, 0, 0, SC("")};

// ---- Lookups ---------------------------------------------------------------

// Equal lengths and equal bytes once A-Z are folded to a-z. Length and
// first byte are compared first: most rows differ there.
static inline bool html_name_equal(String row, String name) {
    if (row.size != name.size) return false;
    if (row.size == 0) return true;
    if (char_to_lower(row.str[0]) != char_to_lower(name.str[0])) return false;
    return string_match(row, name, MATCH_CASE_INSENSITIVE);
}

const HtmlElementInfo* html_element_info_by_tag(HtmlTag tag) {
    if (tag == 0 || tag > ARRAY_COUNT(html_element_table)) return 0;
    return &html_element_table[tag - 1];
}

const HtmlElementInfo* html_element_info_by_name(String name) {
    for (const HtmlElementInfo& row : html_element_table) {
        if (html_name_equal(row.name, name)) return &row;
    }
    return 0;
}

const HtmlAttributeInfo* html_attribute_info_by_id(HtmlAttr attr) {
    if (attr >= ARRAY_COUNT(html_attribute_table)) return 0;
    return &html_attribute_table[attr];
}

const HtmlAttributeInfo* html_attribute_info_by_name(String name) {
    for (const HtmlAttributeInfo& row : html_attribute_table) {
        if (html_name_equal(row.name, name)) return &row;
    }
    return 0;
}

String html_attribute_name(HtmlAttr attr) {
    const HtmlAttributeInfo* row = html_attribute_info_by_id(attr);
    return row ? row->name : String{};
}

String html_element_default_style(HtmlTag tag) {
    for (const HtmlDefaultStyle& row : html_default_style_table) {
        if (row.tag == tag) return row.style;
    }
    return String{};
}

HtmlTag html_first_allowed_parent(HtmlTag tag) {
    const HtmlElementInfo* info = html_element_info_by_tag(tag);
    if (!info) return 0;
    HtmlTag found = 0;
    html_for_each_name(info->allowed_parents, [&](String name) {
        for (const HtmlElementInfo& row : html_element_table) {
            if (string_equal(row.name, name)) {
                found = row.tag;
                return true;
            }
        }
        return false;
    });
    return found;
}

// ---- Style sheet -------------------------------------------------------------

void html_write_default_styles(Arena* arena, StringList* out) {
    for (const HtmlElementInfo& row : html_element_table) {
        String style = html_element_default_style(row.tag);
        if (style.size == 0) continue;
        string_list_push(arena, out, row.name);
        string_list_push(arena, out, S("{"));
        string_list_push(arena, out, style);
        string_list_push(arena, out, S("}"));
    }
    for (String rule : html_trailing_rules) string_list_push(arena, out, rule);
}
