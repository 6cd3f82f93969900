// The HTML vocabulary the program knows: the element table, the attribute
// table and the default-style table, with their lookups. Every element node
// of the DOM points at its element row, every attribute node at its
// attribute row.
#pragma once

#include "base/core.h"
#include "base/string.h"

// ---- Constant strings --------------------------------------------------------


// ---- Types -------------------------------------------------------------------

typedef u32 HtmlTag;   // 1 to 79 in element-table order; 0 is none
typedef u32 HtmlAttr;  // 0 to 83 in attribute-table order

enum HtmlTagId : HtmlTag {
    HTML_TAG_NONE = 0,
    HTML_TAG_DETAILS = 1,
    HTML_TAG_SUMMARY,
    HTML_TAG_META,
    HTML_TAG_BASE,
    HTML_TAG_LINK,
    HTML_TAG_STYLE,
    HTML_TAG_SCRIPT,
    HTML_TAG_NOSCRIPT,
    HTML_TAG_HEADER,
    HTML_TAG_NAV,
    HTML_TAG_MAIN,
    HTML_TAG_PRE,
    HTML_TAG_CODE,
    HTML_TAG_Q,
    HTML_TAG_SECTION,
    HTML_TAG_ARTICLE,
    HTML_TAG_ASIDE,
    HTML_TAG_FOOTER,
    HTML_TAG_H1,
    HTML_TAG_H2,
    HTML_TAG_H3,
    HTML_TAG_H4,
    HTML_TAG_H5,
    HTML_TAG_H6,
    HTML_TAG_P,
    HTML_TAG_STRONG,
    HTML_TAG_I,
    HTML_TAG_EM,
    HTML_TAG_U,
    HTML_TAG_HR,
    HTML_TAG_BR,
    HTML_TAG_BLOCKQUOTE,
    HTML_TAG_OL,
    HTML_TAG_UL,
    HTML_TAG_LI,
    HTML_TAG_DL,
    HTML_TAG_DT,
    HTML_TAG_DD,
    HTML_TAG_DIV,
    HTML_TAG_SPAN,
    HTML_TAG_A,
    HTML_TAG_IMG,
    HTML_TAG_FIGURE,
    HTML_TAG_FIGCAPTION,
    HTML_TAG_TABLE,
    HTML_TAG_THEAD,
    HTML_TAG_TBODY,
    HTML_TAG_TFOOT,
    HTML_TAG_TR,
    HTML_TAG_TH,
    HTML_TAG_TD,
    HTML_TAG_FORM,
    HTML_TAG_INPUT,
    HTML_TAG_BUTTON,
    HTML_TAG_SELECT,
    HTML_TAG_OPTION,
    HTML_TAG_TEXTAREA,
    HTML_TAG_FIELDSET,
    HTML_TAG_LEGEND,
    HTML_TAG_LABEL,
    HTML_TAG_IFRAME,
    HTML_TAG_CANVAS,
    HTML_TAG_AUDIO,
    HTML_TAG_VIDEO,
    HTML_TAG_PATH,
    HTML_TAG_G,
    HTML_TAG_SVG,
    HTML_TAG_TIME,
    HTML_TAG_SOURCE,
    HTML_TAG_SUP,
    HTML_TAG_TRACK,
    HTML_TAG_TEMPLATE,
    HTML_TAG_EMBED,
    HTML_TAG_OBJECT,
    HTML_TAG_TITLE,
    HTML_TAG_DOCTYPE,
    HTML_TAG_HTML,
    HTML_TAG_HEAD,
    HTML_TAG_BODY,
    HTML_TAG_COUNT = HTML_TAG_BODY,
};

enum HtmlAttrId : HtmlAttr {
    HTML_ATTR_ACCEPT = 0,
    HTML_ATTR_ACCEPT_CHARSET,
    HTML_ATTR_AS,
    HTML_ATTR_ACTION,
    HTML_ATTR_ALT,
    HTML_ATTR_ASYNC,
    HTML_ATTR_AUTOPLAY,
    HTML_ATTR_CHECKED,
    HTML_ATTR_CITE,
    HTML_ATTR_CLASS,
    HTML_ATTR_COLSPAN,
    HTML_ATTR_CONTROLS,
    HTML_ATTR_COORDS,
    HTML_ATTR_CONTENT,
    HTML_ATTR_CROSSORIGIN,
    HTML_ATTR_CHARSET,
    HTML_ATTR_DATA,
    HTML_ATTR_DATETIME,
    HTML_ATTR_D,
    HTML_ATTR_DEFER,
    HTML_ATTR_DISABLED,
    HTML_ATTR_FOR,
    HTML_ATTR_IS,
    HTML_ATTR_FETCHPRIORITY,
    HTML_ATTR_FILL,
    HTML_ATTR_FORM,
    HTML_ATTR_FORMACTION,
    HTML_ATTR_HEADERS,
    HTML_ATTR_HTML,
    HTML_ATTR_HEIGHT,
    HTML_ATTR_HIDDEN,
    HTML_ATTR_HREF,
    HTML_ATTR_HREFLANG,
    HTML_ATTR_HTTP_EQUIV,
    HTML_ATTR_ID,
    HTML_ATTR_INPUTMODE,
    HTML_ATTR_ITEMTYPE,
    HTML_ATTR_ISMAP,
    HTML_ATTR_LABEL,
    HTML_ATTR_LANG,
    HTML_ATTR_LIST,
    HTML_ATTR_LINK,
    HTML_ATTR_LOOP,
    HTML_ATTR_LOW,
    HTML_ATTR_MAXLENGTH,
    HTML_ATTR_MINLENGTH,
    HTML_ATTR_MEDIA,
    HTML_ATTR_MIN,
    HTML_ATTR_MULTIPLE,
    HTML_ATTR_MUTED,
    HTML_ATTR_NAME,
    HTML_ATTR_NOVALIDATE,
    HTML_ATTR_NONCE,
    HTML_ATTR_OPTIMUM,
    HTML_ATTR_PATTERN,
    HTML_ATTR_PLACEHOLDER,
    HTML_ATTR_POSTER,
    HTML_ATTR_PROPERTY,
    HTML_ATTR_READONLY,
    HTML_ATTR_REL,
    HTML_ATTR_REQUIRED,
    HTML_ATTR_ROWS,
    HTML_ATTR_ROWSPAN,
    HTML_ATTR_SANDBOX,
    HTML_ATTR_SCOPE,
    HTML_ATTR_SEAMLESS,
    HTML_ATTR_SIZE,
    HTML_ATTR_SIZES,
    HTML_ATTR_SRC,
    HTML_ATTR_SRCDOC,
    HTML_ATTR_SRCLANG,
    HTML_ATTR_DRAGGABLE,
    HTML_ATTR_STYLE,
    HTML_ATTR_TABINDEX,
    HTML_ATTR_TARGET,
    HTML_ATTR_TITLE,
    HTML_ATTR_DATA_TITLE,
    HTML_ATTR_TYPE,
    HTML_ATTR_VALUE,
    HTML_ATTR_VIEWBOX,
    HTML_ATTR_WIDTH,
    HTML_ATTR_WRAP,
    HTML_ATTR_TODO,
    HTML_ATTR_DONTFETCH,
    HTML_ATTR_COUNT,
};

// Bits of HtmlElementInfo.content_model.
enum HtmlContentModel : u32 {
    HTML_CONTENT_RAW_TEXT = 1,    // read verbatim up to the matching end tag
    HTML_CONTENT_ORDINARY = 2,    // elements and text
    HTML_CONTENT_MAY_BE_EMPTY = 4,
    HTML_CONTENT_VOID = 8,        // no content and no end tag
};

// HtmlAttributeInfo.value_type.
enum HtmlValueType : u32 {
    HTML_VALUE_STRING = 1,
    HTML_VALUE_BOOLEAN = 2,  // written without a value
    HTML_VALUE_NUMBER = 3,
    HTML_VALUE_STYLE = 4,
    HTML_VALUE_URL = 5,
};

// Bit of HtmlAttributeInfo.flags: a second setting replaces the attribute
// instead of adding a value.
#define HTML_ATTRIBUTE_REPLACE 8ull

struct HtmlElementInfo {
    String name;  // lower case; the doctype row is "!DOCTYPE"
    HtmlTag tag;
    u32 content_model;           // HtmlContentModel bits
    String allowed_parents;      // names each followed by ";"; "root" is the document level
    String required_attributes;  // added by the reader when a start tag lacks them
};

struct HtmlAttributeInfo {
    String name;
    HtmlAttr id;
    u32 value_type;  // HtmlValueType
    u64 flags;       // HTML_ATTRIBUTE_REPLACE
    String default_value;
};

struct HtmlDefaultStyle {
    HtmlTag tag;
    String style;  // CSS declarations
};

// Rows of no element and no attribute (empty name, id 0): what nodes point
// at when their name is not in a table.
extern const HtmlElementInfo html_nil_element_info;
extern const HtmlAttributeInfo html_nil_attribute_info;

// ---- Lookups -----------------------------------------------------------------

// Null when no row matches. Names compare with A-Z folded to a-z.
const HtmlElementInfo* html_element_info_by_tag(HtmlTag tag);
const HtmlElementInfo* html_element_info_by_name(String name);
const HtmlAttributeInfo* html_attribute_info_by_id(HtmlAttr attr);
const HtmlAttributeInfo* html_attribute_info_by_name(String name);
// Empty for an unknown id.
String html_attribute_name(HtmlAttr attr);
// Style of the first default-style row of the tag; empty when none.
String html_element_default_style(HtmlTag tag);
// First name of the element's allowed parents that names a table element
// (compared byte for byte); 0 when none does.
HtmlTag html_first_allowed_parent(HtmlTag tag);
// Calls `fn` for each name of a ";"-separated list (no empty pieces; a
// missing final ";" still gives the last name). Stops when `fn` returns true
// and returns true then.
template <typename Fn>
inline bool html_for_each_name(String list, Fn fn) {
    u64 start = 0;
    for (u64 i = 0; i <= list.size; i += 1) {
        if (i == list.size || list.str[i] == ';') {
            if (i > start && fn(string_substr(list, start, i))) return true;
            start = i + 1;
        }
    }
    return false;
}

// ---- Style sheet -------------------------------------------------------------

// Appends the default style sheet: one rule per element with a default
// style, in element-table order, then the fixed table and selection rules.
// The pieces point at constant data; nothing is inserted between them.
void html_write_default_styles(Arena* arena, StringList* out);
