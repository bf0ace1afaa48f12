// The session summary as the user meets it: lines in the terminal, a JSON
// file for scripts, an HTML table and the fix-status strip in the document.
#pragma once

#include <span>
#include <string>

#include "engine/conversion_options.h"
#include "engine/session_summary.h"
#include "output/timeline_image.h"

namespace zelvo {

struct SummaryEntry {
    std::string input;
    std::string output;
    InputFormat format = InputFormat::Nmea;
    SessionSummary summary;
};

// A JSON list with one object per input.
std::string summary_json(std::span<const SummaryEntry> entries);

// A few aligned lines, each ending in '\n', each starting with `indent`.
std::string summary_lines(const SessionSummary& summary, const std::string& indent = "  ");

// The summary's line naming the format the log was read as, and whether
// that was recognised from its content, with the alignment of summary_lines.
std::string format_line(InputFormat format, bool recognised, const std::string& indent = "  ");

// The summary as an HTML table for a description.
std::string summary_html(const SessionSummary& summary);

// The strip's columns, ticks and legend, in the classes' own colours.
TimelinePicture timeline_picture(const SessionSummary& summary, const ConversionOptions& options);

}  // namespace zelvo
