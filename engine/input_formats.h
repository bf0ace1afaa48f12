// Every kind of log the program reads, described once: one row per format
// with all that differs between them. A new format is a new InputFormat, its
// decoders, and its row here; a format without a row fails to build.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "engine/epoch_stream.h"
#include "engine/ingestion.h"
#include "engine/input_file.h"
#include "engine/run_host.h"
#include "engine/waypoint_selection.h"
#include "output/kml_document.h"
#include "record/vocabulary.h"

namespace zelvo {

struct InputFormatRow {
    InputFormat format;
    const char* token;        // the value of -f
    const char* name;         // in messages and the summary
    const char* description;  // in --help
    // Reads the log into the epoch stream; progress_step is the input size / 100.
    IngestReport (*ingest)(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs);
    // Classes, date and valid track of one epoch.
    EpochDecision (*select)(const waypoints& record, const SelectionRules& rules);
    // How its placemarks are written.
    const EpochLayout* layout;
    // The units of the format recognised in the first bytes of a log.
    std::size_t (*recognised_units)(std::span<const unsigned char> head);
    // Whether the epoch carries an age of corrections for the summary.
    bool (*has_correction_age)(const waypoints& record);
    const char* no_epoch_hint;  // after "no epoch found"
    const char* json_name;      // "format" in the JSON summary
};

const InputFormatRow& input_format_row(InputFormat format);

// Every row, in the order of the enum.
std::span<const InputFormatRow> input_format_rows();

// The format of -f TOKEN (any case), or none.
std::optional<InputFormat> input_format_of_token(const char* token);

// What the first bytes of a log look like: the format with the most
// recognised units, NMEA on a tie; none when no format recognised any.
std::optional<InputFormat> detect_input_format(std::span<const unsigned char> head);

// The format of the log at `path` by its first bytes (inflated when it is
// compressed); none when it cannot be read or no format is recognised.
std::optional<InputFormat> detect_log_format(const std::string& path);

// How many bytes the detection looks at.
inline constexpr std::size_t kDetectionBytes = 64 * 1024;

}  // namespace zelvo
