// Which epochs become placemarks, under which icon and number, and which
// make points of the tracks. Works on each epoch as soon as it is final.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/conversion_options.h"
#include "engine/epoch_stream.h"
#include "engine/log_time.h"
#include "engine/placemark_thinning.h"
#include "engine/session_summary.h"
#include "output/spool_sink.h"
#include "output/kml_stream.h"
#include "output/kml_writer.h"

namespace zelvo {

class WaypointSelection : public EpochConsumer {
public:
    WaypointSelection(KmlStream& out, const ConversionOptions& options, const IconNames& icons);

    void epoch_final(waypoints& record) override;
    void last_epoch_follows() override { last_epoch_ = true; }

    // Number of placemarks written into the folder.
    std::int32_t count() const { return count_; }

    // Writes the valid track; `epochs` is the number of records read.
    void write_valid_track(std::uint64_t epochs);
    // Writes the track through every record.
    void write_all_points_track();

    // Hands every final epoch, with what was decided about it, to `summary`.
    void gather_summary(SummaryAccumulator& summary) { summary_ = &summary; }

private:
    void placemark(const waypoints& record, FixClass fix_class);
    void select_nmea(waypoints& record);
    void select_binary(const waypoints& record);
    void track_point(TrackGaps& gaps, KmlStream& stream, TrackKind kind, const waypoints& record);

    KmlStream& out_;
    const ConversionOptions& options_;
    const IconNames& icons_;
    std::int32_t count_ = 0;
    PlacemarkThinning thinning_;
    bool last_epoch_ = false;
    TrackGaps valid_gaps_;
    TrackGaps all_gaps_;
    SpoolSink valid_points_;
    SpoolSink all_points_;
    KmlStream valid_stream_;
    KmlStream all_stream_;
    SummaryAccumulator* summary_ = nullptr;
    std::optional<FixClass> first_class_;  // of the current epoch's first placemark
    int epoch_placemarks_ = 0;
    std::string receiver_date_;
};

}  // namespace zelvo
