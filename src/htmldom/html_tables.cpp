#include "htmldom/html_tables.h"

// ---- Element table ---------------------------------------------------------

static constexpr HtmlElementInfo html_element_table[] = {
    {HTML_S("details"), HTML_TAG_DETAILS, 2, HTML_S("body;"), HTML_S("")},
    {HTML_S("summary"), HTML_TAG_SUMMARY, 2, HTML_S("details;"), HTML_S("")},
    {HTML_S("meta"), HTML_TAG_META, 8, HTML_S("head;"), HTML_S("")},
    {HTML_S("base"), HTML_TAG_BASE, 8, HTML_S("head;"), HTML_S("")},
    {HTML_S("link"), HTML_TAG_LINK, 8, HTML_S("head;body;"), HTML_S("")},
    {HTML_S("style"), HTML_TAG_STYLE, 1, HTML_S("head;body;"), HTML_S("")},
    {HTML_S("script"), HTML_TAG_SCRIPT, 1, HTML_S("head;body;"), HTML_S("")},
    {HTML_S("noscript"), HTML_TAG_NOSCRIPT, 2, HTML_S("head;body;"), HTML_S("")},
    {HTML_S("header"), HTML_TAG_HEADER, 2, HTML_S("body;section;article;aside;nav;header;footer;"), HTML_S("")},
    {HTML_S("nav"), HTML_TAG_NAV, 2, HTML_S("body;section;article;aside;header;footer;"), HTML_S("")},
    {HTML_S("main"), HTML_TAG_MAIN, 2, HTML_S("body;"), HTML_S("")},
    {HTML_S("pre"), HTML_TAG_PRE, 1, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("code"), HTML_TAG_CODE, 1, HTML_S("body;section;article;aside;footer;header;nav;pre;p;"), HTML_S("")},
    {HTML_S("q"), HTML_TAG_Q, 2, HTML_S("body;section;article;aside;footer;header;nav;pre;p;"), HTML_S("")},
    {HTML_S("section"), HTML_TAG_SECTION, 2, HTML_S("body;article;aside;footer;header;nav;main;"), HTML_S("")},
    {HTML_S("article"), HTML_TAG_ARTICLE, 2, HTML_S("body;section;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("aside"), HTML_TAG_ASIDE, 2, HTML_S("body;section;article;footer;header;nav;"), HTML_S("")},
    {HTML_S("footer"), HTML_TAG_FOOTER, 2, HTML_S("body;section;article;aside;nav"), HTML_S("")},
    {HTML_S("h1"), HTML_TAG_H1, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("h2"), HTML_TAG_H2, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("h3"), HTML_TAG_H3, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("h4"), HTML_TAG_H4, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("h5"), HTML_TAG_H5, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("h6"), HTML_TAG_H6, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("p"), HTML_TAG_P, 6, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("strong"), HTML_TAG_STRONG, 6, HTML_S("p;"), HTML_S("")},
    {HTML_S("i"), HTML_TAG_I, 6, HTML_S("p;"), HTML_S("")},
    {HTML_S("em"), HTML_TAG_EM, 6, HTML_S("p;"), HTML_S("")},
    {HTML_S("u"), HTML_TAG_U, 6, HTML_S("p;"), HTML_S("")},
    {HTML_S("hr"), HTML_TAG_HR, 8, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("br"), HTML_TAG_BR, 8, HTML_S("body;section;article;aside;footer;header;nav;p;div;"), HTML_S("")},
    {HTML_S("blockquote"), HTML_TAG_BLOCKQUOTE, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("ol"), HTML_TAG_OL, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("ul"), HTML_TAG_UL, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("li"), HTML_TAG_LI, 2, HTML_S("ul;ol;"), HTML_S("")},
    {HTML_S("dl"), HTML_TAG_DL, 2, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("dt"), HTML_TAG_DT, 2, HTML_S("dl;"), HTML_S("")},
    {HTML_S("dd"), HTML_TAG_DD, 2, HTML_S("dl;"), HTML_S("")},
    {HTML_S("div"), HTML_TAG_DIV, 2, HTML_S("body;section;article;aside;footer;header;nav;a;"), HTML_S("")},
    {HTML_S("span"), HTML_TAG_SPAN, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("a"), HTML_TAG_A, 0, HTML_S("body;section;article;aside;footer;header;nav;p;div;span;"), HTML_S("")},
    {HTML_S("img"), HTML_TAG_IMG, 8, HTML_S("body;section;article;aside;footer;header;nav;div;a;"), HTML_S("")},
    {HTML_S("figure"), HTML_TAG_FIGURE, 6, HTML_S("body;section;article;aside;footer;header;nav;"), HTML_S("")},
    {HTML_S("figcaption"), HTML_TAG_FIGCAPTION, 6, HTML_S("figure;"), HTML_S("")},
    {HTML_S("table"), HTML_TAG_TABLE, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("thead"), HTML_TAG_THEAD, 2, HTML_S("table;"), HTML_S("")},
    {HTML_S("tbody"), HTML_TAG_TBODY, 2, HTML_S("table;"), HTML_S("")},
    {HTML_S("tfoot"), HTML_TAG_TFOOT, 6, HTML_S("table;"), HTML_S("")},
    {HTML_S("tr"), HTML_TAG_TR, 6, HTML_S("table;thead;tbody;tfoot;"), HTML_S("")},
    {HTML_S("th"), HTML_TAG_TH, 6, HTML_S("tr;"), HTML_S("")},
    {HTML_S("td"), HTML_TAG_TD, 6, HTML_S("tr;"), HTML_S("")},
    {HTML_S("form"), HTML_TAG_FORM, 0, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("input"), HTML_TAG_INPUT, 8, HTML_S("form;"), HTML_S("")},
    {HTML_S("button"), HTML_TAG_BUTTON, 0, HTML_S("form;body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("select"), HTML_TAG_SELECT, 0, HTML_S("form;"), HTML_S("")},
    {HTML_S("option"), HTML_TAG_OPTION, 0, HTML_S("select;"), HTML_S("")},
    {HTML_S("textarea"), HTML_TAG_TEXTAREA, 0, HTML_S("form;"), HTML_S("")},
    {HTML_S("fieldset"), HTML_TAG_FIELDSET, 2, HTML_S("form;"), HTML_S("")},
    {HTML_S("legend"), HTML_TAG_LEGEND, 2, HTML_S("fieldset;"), HTML_S("")},
    {HTML_S("label"), HTML_TAG_LABEL, 2, HTML_S("form;div;fieldset;"), HTML_S("")},
    {HTML_S("iframe"), HTML_TAG_IFRAME, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("canvas"), HTML_TAG_CANVAS, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("audio"), HTML_TAG_AUDIO, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("video"), HTML_TAG_VIDEO, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("path"), HTML_TAG_PATH, 8, HTML_S("svg;"), HTML_S("")},
    {HTML_S("g"), HTML_TAG_G, 2, HTML_S("svg;"), HTML_S("")},
    {HTML_S("svg"), HTML_TAG_SVG, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("time"), HTML_TAG_TIME, 2, HTML_S("body;"), HTML_S("")},
    {HTML_S("source"), HTML_TAG_SOURCE, 8, HTML_S("audio;video;picture;"), HTML_S("")},
    {HTML_S("sup"), HTML_TAG_SUP, 2, HTML_S("body;section;article;aside;footer;header;nav;p;"), HTML_S("")},
    {HTML_S("track"), HTML_TAG_TRACK, 8, HTML_S("audio;video;"), HTML_S("")},
    {HTML_S("template"), HTML_TAG_TEMPLATE, 2, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("embed"), HTML_TAG_EMBED, 8, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("object"), HTML_TAG_OBJECT, 6, HTML_S("body;section;article;aside;footer;header;nav;div;"), HTML_S("")},
    {HTML_S("title"), HTML_TAG_TITLE, 2, HTML_S("head;"), HTML_S("")},
    {HTML_S("!DOCTYPE"), HTML_TAG_DOCTYPE, 8, HTML_S("root;"), HTML_S("html;")},
    {HTML_S("html"), HTML_TAG_HTML, 2, HTML_S("root;"), HTML_S("lang;")},
    {HTML_S("head"), HTML_TAG_HEAD, 2, HTML_S("html;"), HTML_S("")},
    {HTML_S("body"), HTML_TAG_BODY, 2, HTML_S("html;"), HTML_S("")},
};
static_assert(ARRAY_COUNT(html_element_table) == 79, "element table has 79 rows");

// ---- Attribute table -------------------------------------------------------

// "data-* " keeps its trailing blank so that it matches no real data
// attribute.
static constexpr HtmlAttributeInfo html_attribute_table[] = {
    {HTML_S("accept"), HTML_ATTR_ACCEPT, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("accept-charset"), HTML_ATTR_ACCEPT_CHARSET, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("as"), HTML_ATTR_AS, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("action"), HTML_ATTR_ACTION, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("alt"), HTML_ATTR_ALT, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("async"), HTML_ATTR_ASYNC, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("autoplay"), HTML_ATTR_AUTOPLAY, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("checked"), HTML_ATTR_CHECKED, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("cite"), HTML_ATTR_CITE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("class"), HTML_ATTR_CLASS, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("colspan"), HTML_ATTR_COLSPAN, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("controls"), HTML_ATTR_CONTROLS, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("coords"), HTML_ATTR_COORDS, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("content"), HTML_ATTR_CONTENT, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("crossorigin"), HTML_ATTR_CROSSORIGIN, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("charset"), HTML_ATTR_CHARSET, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("data-* "), HTML_ATTR_DATA, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("datetime"), HTML_ATTR_DATETIME, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("d"), HTML_ATTR_D, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("defer"), HTML_ATTR_DEFER, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("disabled"), HTML_ATTR_DISABLED, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("for"), HTML_ATTR_FOR, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("is"), HTML_ATTR_IS, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("fetchpriority"), HTML_ATTR_FETCHPRIORITY, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("fill"), HTML_ATTR_FILL, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("form"), HTML_ATTR_FORM, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("formaction"), HTML_ATTR_FORMACTION, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("headers"), HTML_ATTR_HEADERS, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("html"), HTML_ATTR_HTML, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("height"), HTML_ATTR_HEIGHT, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("hidden"), HTML_ATTR_HIDDEN, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("href"), HTML_ATTR_HREF, HTML_VALUE_URL, 0, HTML_S("")},
    {HTML_S("hreflang"), HTML_ATTR_HREFLANG, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("http-equiv"), HTML_ATTR_HTTP_EQUIV, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("id"), HTML_ATTR_ID, HTML_VALUE_STRING, HTML_ATTRIBUTE_REPLACE, HTML_S("")},
    {HTML_S("inputmode"), HTML_ATTR_INPUTMODE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("itemtype"), HTML_ATTR_ITEMTYPE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("ismap"), HTML_ATTR_ISMAP, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("label"), HTML_ATTR_LABEL, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("lang"), HTML_ATTR_LANG, HTML_VALUE_STRING, HTML_ATTRIBUTE_REPLACE, HTML_S("en")},
    {HTML_S("list"), HTML_ATTR_LIST, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("link"), HTML_ATTR_LINK, HTML_VALUE_URL, 0, HTML_S("")},
    {HTML_S("loop"), HTML_ATTR_LOOP, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("low"), HTML_ATTR_LOW, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("maxlength"), HTML_ATTR_MAXLENGTH, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("minlength"), HTML_ATTR_MINLENGTH, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("media"), HTML_ATTR_MEDIA, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("min"), HTML_ATTR_MIN, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("multiple"), HTML_ATTR_MULTIPLE, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("muted"), HTML_ATTR_MUTED, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("name"), HTML_ATTR_NAME, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("novalidate"), HTML_ATTR_NOVALIDATE, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("nonce"), HTML_ATTR_NONCE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("optimum"), HTML_ATTR_OPTIMUM, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("pattern"), HTML_ATTR_PATTERN, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("placeholder"), HTML_ATTR_PLACEHOLDER, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("poster"), HTML_ATTR_POSTER, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("property"), HTML_ATTR_PROPERTY, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("readonly"), HTML_ATTR_READONLY, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("rel"), HTML_ATTR_REL, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("required"), HTML_ATTR_REQUIRED, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("rows"), HTML_ATTR_ROWS, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("rowspan"), HTML_ATTR_ROWSPAN, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("sandbox"), HTML_ATTR_SANDBOX, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("scope"), HTML_ATTR_SCOPE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("seamless"), HTML_ATTR_SEAMLESS, HTML_VALUE_BOOLEAN, 0, HTML_S("")},
    {HTML_S("size"), HTML_ATTR_SIZE, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("sizes"), HTML_ATTR_SIZES, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("src"), HTML_ATTR_SRC, HTML_VALUE_URL, 0, HTML_S("")},
    {HTML_S("srcdoc"), HTML_ATTR_SRCDOC, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("srclang"), HTML_ATTR_SRCLANG, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("draggable"), HTML_ATTR_DRAGGABLE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("style"), HTML_ATTR_STYLE, HTML_VALUE_STYLE, 0, HTML_S("")},
    {HTML_S("tabindex"), HTML_ATTR_TABINDEX, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("target"), HTML_ATTR_TARGET, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("title"), HTML_ATTR_TITLE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("data-title"), HTML_ATTR_DATA_TITLE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("type"), HTML_ATTR_TYPE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("value"), HTML_ATTR_VALUE, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("viewbox"), HTML_ATTR_VIEWBOX, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("width"), HTML_ATTR_WIDTH, HTML_VALUE_NUMBER, 0, HTML_S("")},
    {HTML_S("wrap"), HTML_ATTR_WRAP, HTML_VALUE_STRING, 0, HTML_S("")},
    {HTML_S("todo"), HTML_ATTR_TODO, HTML_VALUE_BOOLEAN, 0, HTML_S("permit to print todos")},
    {HTML_S("dontFetch"), HTML_ATTR_DONTFETCH, HTML_VALUE_BOOLEAN, 0, HTML_S("permit to disable url checking when enabled")},
};
static_assert(ARRAY_COUNT(html_attribute_table) == 84, "attribute table has 84 rows");

// ---- Default-style table ---------------------------------------------------

static constexpr HtmlDefaultStyle html_default_style_table[] = {
    {HTML_TAG_P, HTML_S("display:block;font-size:1em;line-height:1.4rem;margin-top:0.2em;")},
    {HTML_TAG_BODY, HTML_S("display:inline-block;max-width:100vw;width:100vw;")},
    {HTML_TAG_PRE, HTML_S("display:inline-block;background-color:#dbdada;border-radius:2px;width:fit-content;padding:1em "
                          "1.2em;white-space:pre;")},
    {HTML_TAG_A, HTML_S("display:inline-block;width:fit-content;cursor:pointer;color:#5c5b8f;line-height:1.4em;margin-top:"
                        "0.5em;")},
    {HTML_TAG_H1, HTML_S("display:block;font-size:2em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H2, HTML_S("display:block;font-size:1.5em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H3, HTML_S("display:block;font-size:1.2rem;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H4, HTML_S("display:block;font-size:1.17em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_H5, HTML_S("display:block;font-size:1.11em;font-weight:bold;margin-top:0.8em;")},
    {HTML_TAG_STYLE, HTML_S("display:none;")},
    {HTML_TAG_DIV, HTML_S("overflow-wrap:break-word;display:flex;flex-direction:column;")},
    {HTML_TAG_UL, HTML_S("display:flex;flex-direction:column;")},
    {HTML_TAG_TABLE, HTML_S("box-shadow: 0 2px 4px rgba(0, 0, 0, 0.1);width:fit-content;border-collapse:collapse;text-align:"
                            "left;display:table;margin-top:0.5rem;margin-bottom:0.5rem;")},
    {HTML_TAG_THEAD, HTML_S("display:table-header-group;background-color:#dbdada;")},
    {HTML_TAG_TR, HTML_S("display:table-row;font-family:sans-serif;")},
    {HTML_TAG_TH, HTML_S("display:table-cell;padding: 0.5em 1.1em;text-align:center;")},
    {HTML_TAG_TD, HTML_S("display:table-cell;padding: 0.5em 1.1em;")},
    {HTML_TAG_TBODY, HTML_S("display:table-row-group;")},
    {HTML_TAG_HR, HTML_S("border-bottom: #cfc4c4 1px solid;margin-top:0.8em;")},
    {HTML_TAG_TITLE, HTML_S("display:none;")},
    {HTML_TAG_BLOCKQUOTE, HTML_S("")},
    {HTML_TAG_HTML, HTML_S("font-size:17px;")},
    {HTML_TAG_EM, HTML_S("font-style:italic;")},
    {HTML_TAG_STRONG, HTML_S("font-weight:bold;")},
    {HTML_TAG_SPAN, HTML_S("margin-top:0.5em;")},
    {HTML_TAG_CODE, HTML_S("")},
    {HTML_TAG_BUTTON, HTML_S("margin: 0 0.2em;padding:0.1em 0.3em;background-color:#dbdada; border:1px solid "
                             "grey;display:inline-block;cursor:pointer;text-align:center;font-family:Arial, "
                             "sans-serif;font-size:1em;width:fit-content;")},
    {HTML_TAG_INPUT, HTML_S("cursor:pointer;min-width:1em;min-height:1em;")},
    {HTML_TAG_LI, HTML_S("display:list-item;text-align:-webkit-match-parent;unicode-bidi:isolate;")},
    {HTML_TAG_OL, HTML_S("list-style-position:inside;display:block;list-style-type:decimal;margin-block-start:0.2rem;"
                         "margin-block-end:0.2rem;padding-inline-start:0.5rem;")},
};
static_assert(ARRAY_COUNT(html_default_style_table) == 30, "default-style table has 30 rows");

// Rules written after the per-element rules, in this order.
static constexpr String html_trailing_rules[] = {
    HTML_S("tbody tr:nth-child(even){background-color:#f5f5f594;}"),
    HTML_S("td:not(:first-child),th:not(:first-child){border-left:#c3bfbf 1px solid;}"),
    HTML_S("tr:not(:last-child){border-bottom:#c3bfbf 1px solid;}"),
    HTML_S("thead{border:#6d6d6d 1px solid;}"),
    HTML_S("tbody{border-left:#6d6d6d 1px solid;border-right:#6d6d6d 1px solid;border-bottom:#6d6d6d 1px solid;}"),
    HTML_S("::selection {background-color:#c3baa4;color:black;}"),
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
constinit const HtmlElementInfo html_nil_element_info = {HTML_S(""), 0, 0, HTML_S(""), HTML_S("")};
constinit const HtmlAttributeInfo html_nil_attribute_info = {HTML_S(""), 0, 0, 0, HTML_S("")};

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
