// The outputs a run feeds: every final epoch, with what the selection
// decided for it, goes to each output of a list in turn (the KML document,
// the session summary, the companion files). A new output is one class
// here and, for a companion file, one row of kCompanionFormats.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_options.h"
#include "engine/waypoint_selection.h"
#include "output/byte_sink.h"
#include "output/epoch_data.h"
#include "record/waypoints.h"

namespace zelvo {

// One final epoch as every output sees it.
struct FinalEpoch {
    const waypoints& record;  // with the date the decision stamped
    const EpochDecision& decision;
    // The number of the epoch's first drawn placemark; the others follow.
    std::int32_t first_placemark = 0;
    // The log's own "yyyy-mm-dd" of the epoch; empty when the log gave none
    // (a fixed or today's date is never the log's).
    std::string_view log_date;
};

class EpochOutput {
public:
    virtual ~EpochOutput() = default;
    virtual const char* name() const = 0;
    virtual void epoch(const FinalEpoch& epoch) = 0;
    // The log has ended after `epochs` records; everything goes to the sink.
    virtual void finish(std::uint64_t epochs) = 0;
};

// How a companion writer draws: the same switches as the document. The
// writers take KmlStream for its locale-free numbers and write their text
// with put_raw, which keeps their own line ends.
struct CompanionLook {
    EpochFieldSet fields = EpochFieldSet::Nmea;  // the kind of log
    bool all_points_track = false;
    bool split_tracks = false;
};

struct CompanionFormat {
    CompanionKind kind;
    const char* option;  // the command-line option, without "--"
    const char* title;   // how messages name the format
    std::unique_ptr<EpochOutput> (*make)(ByteSink& sink, const CompanionLook& look);
    // Whether an existing file of `head` (its first bytes) is one this format
    // wrote and may be replaced; an empty file always may.
    bool (*own_kind)(std::string_view head, const CompanionLook& look);
};

std::unique_ptr<EpochOutput> make_gpx_output(ByteSink& sink, const CompanionLook& look);
bool is_gpx_file(std::string_view head, const CompanionLook& look);
std::unique_ptr<EpochOutput> make_geojson_output(ByteSink& sink, const CompanionLook& look);
bool is_geojson_file(std::string_view head, const CompanionLook& look);
std::unique_ptr<EpochOutput> make_csv_output(ByteSink& sink, const CompanionLook& look);
bool is_csv_file(std::string_view head, const CompanionLook& look);

inline constexpr CompanionFormat kCompanionFormats[] = {
    {CompanionKind::Gpx, "gpx", "GPX", make_gpx_output, is_gpx_file},
    {CompanionKind::GeoJson, "geojson", "GeoJSON", make_geojson_output, is_geojson_file},
    {CompanionKind::Csv, "csv", "CSV", make_csv_output, is_csv_file},
};

const CompanionFormat& companion_format(CompanionKind kind);

// Why the companion may not be written at `path`, or empty when it may: a
// name longer than the file system takes, the log itself, something that is
// not a regular file, or a file that is neither empty nor of its own kind.
std::string companion_refusal(const CompanionFile& file, const CompanionLook& look, const std::string& input_path);

}  // namespace zelvo
