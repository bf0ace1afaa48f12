#include "engine/log_document.h"

#include <utility>

#include "engine/epoch_stream.h"
#include "engine/input_formats.h"
#include "engine/summary_report.h"
#include "engine/waypoint_selection.h"

namespace zelvo {

namespace {

SelectionRules selection_rules(const ConversionOptions& options) {
    return {options.input_format,          options.use_fixed_date,        options.fixed_date,
            options.use_all_waypoints,     options.placemark_interval_ms, options.split_gap_ms};
}

// Writes each final epoch into the document as the selection decides, and
// hands it with what was decided to the summary.
class DocumentFeed : public EpochConsumer {
public:
    DocumentFeed(KmlDocument& document, const ConversionOptions& options, SummaryAccumulator& summary)
        : document_(document),
          selection_(selection_rules(options)),
          summary_(summary),
          format_(input_format_row(options.input_format)) {}

    void epoch_final(waypoints& record) override {
        // The decision may stamp a date: the summary keeps the log's own.
        receiver_date_ = receiver_date(record);
        const EpochDecision d = selection_.decide(record);
        if (d.date) {
            record.date = d.date->text;
            record.date_source = d.date->source;
        }
        int drawn = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(d.placemarks); ++i) {
            if (!d.drawn[i]) continue;
            document_.placemark(record, d.classes[i]);
            ++drawn;
        }
        if (d.on_valid_track) document_.track_point(Track::Valid, record, d.valid_track_breaks);
        if (d.on_all_points_track) document_.track_point(Track::AllPoints, record, d.all_points_track_breaks);
        std::optional<FixClass> first_class;
        if (d.placemarks > 0) first_class = d.classes[0];
        summary_.add(record, {has_position(record), first_class, drawn, d.on_valid_track, receiver_date_,
                              format_.has_correction_age(record)});
    }
    void last_epoch_follows() override { selection_.last_epoch_follows(); }

private:
    KmlDocument& document_;
    EpochSelection selection_;
    SummaryAccumulator& summary_;
    const InputFormatRow& format_;
    std::string receiver_date_;
};

}  // namespace

KmlLook document_look(const ConversionOptions& options, IconNames icons) {
    return {input_format_row(options.input_format).layout, std::move(icons), options.icon_scale,
            options.show_height,     options.track_width,       options.track_color,
            options.use_all_waypoints, options.full_track_color, options.epoch_data,
            options.split_gap_ms > 0, options.timeline ? kTimelineMember : ""};
}

LogDocument write_log_document(InputFile& input, const ConversionOptions& options, IconNames icons,
                               ByteSink& sink, RunHost& host) {
    KmlDocument document(sink, document_look(options, std::move(icons)));
    host.phase(RunPhase::Reading, 0);
    SummaryAccumulator summary;
    DocumentFeed feed(document, options, summary);
    EpochStream epochs(feed);
    // Each epoch's placemarks are written as soon as the epoch is final.
    const std::uint64_t progress_step = input.size() / 100;  // the gauge's step
    const IngestReport report = input_format_row(options.input_format).ingest(input, progress_step, host, epochs);
    epochs.finish();

    LogDocument result{epochs.size(), document.placemark_count(), summary.finish()};
    result.summary.skipped_lines = report.skipped_lines;
    host.phase(RunPhase::Writing, *result.placemarks);
    document.finish(result.epochs, options.timeline ? summary_html(result.summary) : std::string());
    return result;
}

}  // namespace zelvo
