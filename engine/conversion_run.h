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
    std::uint64_t epochs = 0;  // epochs the log gave; 0 usually means the wrong format was chosen
    std::optional<SessionSummary> summary;  // of a finished run
};

// Raised by a host's pump_messages() to stop a run (the window closing).
class RunCancelled : public std::runtime_error {
public:
    RunCancelled() : std::runtime_error("The conversion was cancelled") {}
};

// Converts options.input_path into the archive options.output_path and
// rewrites output_path as the window keeps it. Nothing but the archive is
// written into the output folder. Failures of opening the input and
// creating the output, and an output refused before the log is read (the
// log itself, a file that is not an archive), are reported through the host
// and the result; any other failure (an icon, the archive, a read error) is
// thrown as std::runtime_error after the run has closed its files, removed
// its temporary archive and unlocked the host.
RunResult conversion_run(ConversionOptions& options, RunHost& host);

// Directory of the running program, with its trailing '/'.
std::string executable_dir();

}  // namespace zelvo
