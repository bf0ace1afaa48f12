#include "engine/input_formats.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <string>

namespace zelvo {

namespace {

IngestReport read_nmea(InputFile& in, std::uint64_t step, RunHost& host, EpochStream& epochs) {
    ingest_nmea(in, step, host, epochs);
    return {};
}

IngestReport read_tolv(InputFile& in, std::uint64_t step, RunHost& host, EpochStream& epochs) {
    ingest_binary(in, step, host, epochs);
    return {};
}

constexpr std::array<InputFormatRow, kInputFormatCount> kRows = {{
    {InputFormat::Nmea, "nmea", "NMEA", "NMEA 0183 text", read_nmea, select_nmea, &kNmeaLayout,
     count_nmea_sentences, [](const waypoints& r) { return r.has_gga == 1; },
     "read as NMEA; for a binary log use -f tolv, for a solution file -f pos", "nmea"},
    {InputFormat::Tolv, "tolv", "TOLV", "the binary protocol", read_tolv, select_tolv, &kTolvLayout,
     count_tolv_frames, [](const waypoints&) { return false; },
     "read as TOLV; for an NMEA log use -f nmea, for a solution file -f pos", "tolv"},
    {InputFormat::Solution, "pos", "solution", "a position solution file of post-processing", ingest_solution,
     select_solution, &kSolutionLayout, count_solution_lines, [](const waypoints&) { return true; },
     "read as a solution file; for an NMEA log use -f nmea, for a binary log -f tolv", "pos"},
}};

// Each format has its row, at the index of its value. A row left out is
// value-initialised (format 0) and so stands at the wrong index. (Function
// addresses are no constants under the sanitizers: only the formats are
// compared.)
constexpr bool every_format_has_its_row() {
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (static_cast<std::size_t>(kRows[i].format) != i) return false;
    }
    return true;
}
static_assert(every_format_has_its_row(), "every InputFormat needs its row in kRows, in the order of the enum");

}  // namespace

const InputFormatRow& input_format_row(InputFormat format) { return kRows[static_cast<std::size_t>(format)]; }

std::span<const InputFormatRow> input_format_rows() { return kRows; }

std::optional<InputFormat> input_format_of_token(const char* token) {
    std::string t = token;
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const InputFormatRow& row : kRows)
        if (t == row.token) return row.format;
    return std::nullopt;
}

std::optional<InputFormat> detect_input_format(std::span<const unsigned char> head) {
    head = head.first(std::min(head.size(), kDetectionBytes));
    std::optional<InputFormat> best;
    std::size_t most = 0;
    // Rows in order, NMEA first: a tie keeps the earlier format.
    for (const InputFormatRow& row : kRows) {
        const std::size_t units = row.recognised_units(head);
        if (units > most) {
            most = units;
            best = row.format;
        }
    }
    return best;
}

std::optional<InputFormat> detect_log_format(const std::string& path) {
    InputFile file;
    if (!file.open(path)) return std::nullopt;
    try {
        return detect_input_format(file.peek(kDetectionBytes));
    } catch (const std::exception&) {
        return std::nullopt;  // damaged compressed data: the run will say so
    }
}

}  // namespace zelvo
