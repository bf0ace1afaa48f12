// The KML document of one log: the log read epoch by epoch, each final
// epoch drawn as the selection decides, and the session summed up on the way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/conversion_options.h"
#include "engine/epoch_outputs.h"
#include "engine/input_file.h"
#include "engine/run_host.h"
#include "engine/session_summary.h"
#include "output/kml_document.h"

namespace zelvo {

// The archive member of the fix-status strip.
inline constexpr const char* kTimelineMember = "timeline.png";

struct LogDocument {
    std::uint64_t epochs = 0;  // epochs the log gave
    std::optional<std::int32_t> placemarks;  // in the document's folder
    SessionSummary summary;
};

// How the document draws a run with `options`, under the icons `icons`.
KmlLook document_look(const ConversionOptions& options, IconNames icons);

// How the companion files draw a run with `options`.
CompanionLook companion_look(const ConversionOptions& options);

// Reads `input` as options.input_format and writes its whole document into
// `sink`, telling `host` of the phases Reading and Writing and of the
// progress. Every final epoch also goes to `companions`, which are
// finished after the document.
LogDocument write_log_document(InputFile& input, const ConversionOptions& options, IconNames icons,
                               ByteSink& sink, RunHost& host, const std::vector<EpochOutput*>& companions = {});

}  // namespace zelvo
