#include "ui/window_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zelvo {

namespace {

std::size_t skip_blanks(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    return i;
}

}  // namespace

std::string step_track_width(const std::string& text, int step) {
    std::size_t i = skip_blanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Digits beyond what fits saturate: the result is clamped anyway.
    std::int64_t n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        n = std::min<std::int64_t>(n * 10 + (text[i] - '0'), std::int64_t{1} << 40);
    if (negative) n = -n;
    n += step;
    if (n < 1) return "1";
    if (n > 10) return "10";
    return std::to_string(n);
}

std::string step_icon_scale(const std::string& text, int step) {
    std::size_t i = skip_blanks(text);
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;  // from_chars takes no '+'
    double x = 0.0;
    auto res = std::from_chars(first, last, x, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) x = (first != last && *first == '-') ? -HUGE_VAL : HUGE_VAL;
    else if (res.ec != std::errc() || std::isnan(x)) x = 0.0;
    x += 0.1 * step;
    if (x < 0.1) return "0.1";
    if (x > 1.0) return "1.0";
    char buf[64];
    auto out = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 6);
    return std::string(buf, out.ptr);
}

std::string error_report_text(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

ScreenRect place_on_screen(ScreenRect window, const std::vector<ScreenRect>& screens) {
    if (screens.empty()) return window;
    auto overlap = [&](const ScreenRect& s) {
        std::int64_t w = std::min(window.left + window.width, s.left + s.width) - std::max(window.left, s.left);
        std::int64_t h = std::min(window.top + window.height, s.top + s.height) - std::max(window.top, s.top);
        return w > 0 && h > 0 ? w * h : 0;
    };
    auto distance = [&](const ScreenRect& s) {
        std::int64_t dx = std::max({0, s.left - (window.left + window.width), window.left - (s.left + s.width)});
        std::int64_t dy = std::max({0, s.top - (window.top + window.height), window.top - (s.top + s.height)});
        return dx * dx + dy * dy;
    };
    const ScreenRect* best = &screens.front();
    for (const ScreenRect& s : screens) {
        if (overlap(s) > overlap(*best) || (overlap(*best) == 0 && distance(s) < distance(*best))) best = &s;
    }
    // The far edge first, so that a window too big for the screen keeps its
    // title bar on it.
    window.left = std::max(std::min(window.left, best->left + best->width - window.width), best->left);
    window.top = std::max(std::min(window.top, best->top + best->height - window.height), best->top);
    return window;
}

}  // namespace zelvo
