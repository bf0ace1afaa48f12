// A strict well-formedness check of the documents the program writes: one
// root element, matching tags, known entities, closed CDATA sections, and
// only the bytes the document may hold (printable ASCII, tab, CR, LF).
#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace zelvo::fuzz {

// Empty when the document is well-formed, otherwise what is wrong and where.
inline std::string xml_fault(std::string_view doc) {
    auto at = [&](std::size_t i, const char* what) { return std::string(what) + " at byte " + std::to_string(i); };
    auto name_start = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'; };
    auto name_char = [&](char c) { return name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; };
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    for (std::size_t i = 0; i < doc.size(); ++i) {
        auto c = static_cast<unsigned char>(doc[i]);
        if (!(c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c <= 0x7E))) return at(i, "byte outside printable ASCII");
    }
    // An entity reference starting at i ("&..."); returns its length or 0.
    auto entity = [&](std::size_t i) -> std::size_t {
        for (std::string_view e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
            if (doc.substr(i, e.size()) == e) return e.size();
        std::size_t j = i + 1;
        if (j < doc.size() && doc[j] == '#') {
            ++j;
            bool hex = j < doc.size() && doc[j] == 'x';
            if (hex) ++j;
            std::size_t digits = 0;
            while (j < doc.size() && (std::isdigit(static_cast<unsigned char>(doc[j])) ||
                                      (hex && std::isxdigit(static_cast<unsigned char>(doc[j]))))) {
                ++j;
                ++digits;
            }
            if (digits > 0 && j < doc.size() && doc[j] == ';') return j + 1 - i;
        }
        return 0;
    };
    std::vector<std::string_view> open;
    bool root_seen = false;
    std::size_t i = 0;
    while (i < doc.size()) {
        if (doc[i] != '<') {
            if (open.empty() && !space(doc[i])) return at(i, "text outside the root element");
            if (doc[i] == '&') {
                std::size_t n = entity(i);
                if (n == 0) return at(i, "bad entity reference");
                i += n;
                continue;
            }
            if (doc.substr(i, 3) == "]]>") return at(i, "\"]]>\" in text");
            ++i;
            continue;
        }
        if (doc.substr(i, 9) == "<![CDATA[") {
            if (open.empty()) return at(i, "CDATA outside the root element");
            std::size_t end = doc.find("]]>", i + 9);
            if (end == std::string_view::npos) return at(i, "unclosed CDATA section");
            i = end + 3;
            continue;
        }
        if (doc.substr(i, 4) == "<!--") {
            std::size_t end = doc.find("-->", i + 4);
            if (end == std::string_view::npos) return at(i, "unclosed comment");
            i = end + 3;
            continue;
        }
        if (doc.substr(i, 2) == "<?") {
            std::size_t end = doc.find("?>", i + 2);
            if (end == std::string_view::npos) return at(i, "unclosed processing instruction");
            i = end + 2;
            continue;
        }
        bool closing = doc.substr(i, 2) == "</";
        std::size_t j = i + (closing ? 2 : 1);
        std::size_t name_begin = j;
        if (j >= doc.size() || !name_start(doc[j])) return at(i, "bad tag name");
        while (j < doc.size() && name_char(doc[j])) ++j;
        std::string_view name = doc.substr(name_begin, j - name_begin);
        if (closing) {
            while (j < doc.size() && space(doc[j])) ++j;
            if (j >= doc.size() || doc[j] != '>') return at(i, "bad closing tag");
            if (open.empty() || open.back() != name) return at(i, "closing tag does not match");
            open.pop_back();
            i = j + 1;
            continue;
        }
        // Attributes: name="value" or name='value'.
        for (;;) {
            std::size_t before = j;
            while (j < doc.size() && space(doc[j])) ++j;
            if (j >= doc.size()) return at(i, "unclosed tag");
            if (doc[j] == '>' || doc.substr(j, 2) == "/>") break;
            if (j == before || !name_start(doc[j])) return at(j, "bad attribute");
            while (j < doc.size() && name_char(doc[j])) ++j;
            if (j >= doc.size() || doc[j] != '=') return at(j, "attribute without value");
            ++j;
            if (j >= doc.size() || (doc[j] != '"' && doc[j] != '\'')) return at(j, "unquoted attribute");
            char quote = doc[j++];
            while (j < doc.size() && doc[j] != quote) {
                if (doc[j] == '<') return at(j, "\"<\" in an attribute");
                if (doc[j] == '&') {
                    std::size_t n = entity(j);
                    if (n == 0) return at(j, "bad entity reference");
                    j += n;
                } else {
                    ++j;
                }
            }
            if (j >= doc.size()) return at(i, "unclosed attribute");
            ++j;
        }
        if (open.empty() && root_seen) return at(i, "a second root element");
        root_seen = true;
        if (doc[j] == '/') {
            i = j + 2;
        } else {
            open.push_back(name);
            i = j + 1;
        }
    }
    if (!root_seen) return "no root element";
    if (!open.empty()) return "unclosed element <" + std::string(open.back()) + ">";
    return {};
}

}  // namespace zelvo::fuzz
