// Reading generated HTML text in tests.
#pragma once

#include <string.h>

#include <string>
#include <utility>
#include <vector>

namespace kavsite_test {

// What a browser shows for the text of a `pre` element as written in a
// page: one line feed after the start tag is dropped, and the entities the
// pages write ("&lt;", "&gt;", "&amp;", "&quot;") are read back.
inline std::string shown_pre_text(const std::string& html) {
    std::string text = html.compare(0, 1, "\n") == 0 ? html.substr(1) : html;
    std::string out;
    const std::pair<const char*, char> entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}};
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : entities) {
            if (text.compare(i, strlen(entity), entity) == 0) {
                out += c;
                i += strlen(entity);
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

// Every value of `attribute="..."` in `html`, in order.
inline std::vector<std::string> attribute_values(const std::string& html, const std::string& attribute) {
    std::vector<std::string> values;
    std::string key = " " + attribute + "=\"";
    for (size_t at = html.find(key); at != std::string::npos; at = html.find(key, at + 1)) {
        size_t begin = at + key.size();
        size_t end = html.find('"', begin);
        if (end == std::string::npos) break;
        values.push_back(html.substr(begin, end - begin));
    }
    return values;
}

}  // namespace kavsite_test
