// The Run command: one log in, one KMZ archive out.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/conversion_options.h"
#include "engine/run_host.h"
#include "engine/session_summary.h"

namespace zelvo {

enum class RunOutcome {
    Finished,          // the archive was written
    InputNotOpened,    // status "Can't open the input file"
    OutputNotCreated,  // status "Can't create the output file"
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Finished;
    std::string reason;  // the system's reason for a failure, for the command line
    // The placemarks in the document's folder; none for a format that has
    // no folder.
    std::optional<std::int32_t> placemarks;
    std::string archive_path;  // the archive written, empty when refused
    std::uint64_t epochs = 0;  // epochs the log gave; 0 usually means the wrong format was chosen
    std::optional<SessionSummary> summary;  // of a finished run
    InputFormat format = InputFormat::Nmea;  // the format the log was read as
    // With detect_format: whether the log's content named the format; when
    // not, it was none of the formats and was read as input_format.
    bool format_recognised = false;
};

// "Waypoints N", the count as the window's right panel shows it.
std::string waypoints_text(std::int32_t placemarks);
// The count of a finished run, or a blank when its document has no folder.
std::string count_text(const RunResult& result);
// The message that closes a finished run in the window.
std::string finished_message(const std::string& input_name, const RunResult& result);

// Raised by a host's pump_messages() to stop a run (the window closing).
class RunCancelled : public std::runtime_error {
public:
    RunCancelled() : std::runtime_error("The conversion was cancelled") {}
};

// Converts options.input_path into the archive at archive_path_for(options).
// Nothing but the archive is written into the output folder. Failures of
// opening the input and creating the output, and an output refused before
// the log is read (the log itself, a file that is not an archive), are
// reported through the host's phase and the result; any other failure (an
// icon, the archive, a read error) is thrown as std::runtime_error after
// the run has closed its files and removed its temporary archive.
RunResult conversion_run(const ConversionOptions& options, RunHost& host);

// Where a run puts the archive: output_name in the directory of output_path,
// or beside the program when output_path is empty.
std::string archive_path_for(const ConversionOptions& options);

}  // namespace zelvo
