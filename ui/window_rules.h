// The window's text rules that need no widgets: the two spinners and the
// general error report.
#pragma once

#include <string>
#include <vector>

namespace zelvo {

// Track width field: the integer at the start of `text` (blanks skipped,
// optional sign; 0 when none) plus `step`, held within 1 to 10.
std::string step_track_width(const std::string& text, int step);

// Icon scale field: the number at the start of `text` plus step * 0.1.
// Below 0.1 gives "0.1", above 1.0 gives "1.0", otherwise six decimals.
std::string step_icon_scale(const std::string& text, int step);

// The text of the general error report: a full stop is appended when the
// last character's code is above that of '.'.
std::string error_report_text(const std::string& message);

// A rectangle of the desktop, in the toolkit's device-independent pixels.
struct ScreenRect {
    int left, top, width, height;
};

// Where a window of the given frame size goes when asked for (left, top):
// moved as little as needed to lie wholly on the screen it overlaps most
// (the nearest screen when it overlaps none). A window larger than the
// screen keeps its top left corner on it.
ScreenRect place_on_screen(ScreenRect window, const std::vector<ScreenRect>& screens);

}  // namespace zelvo
