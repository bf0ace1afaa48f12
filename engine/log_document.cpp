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

// Decides each final epoch once and hands it with the decision to every
// output in turn.
class EpochFeed : public EpochConsumer {
public:
    EpochFeed(const ConversionOptions& options, std::vector<EpochOutput*> outputs)
        : selection_(selection_rules(options)), outputs_(std::move(outputs)) {}

    void epoch_final(waypoints& record) override {
        // The decision may stamp a date: the outputs are told the log's own.
        log_date_ = receiver_date(record);
        const EpochDecision d = selection_.decide(record);
        if (d.date) {
            record.date = d.date->text;
            record.date_source = d.date->source;
        }
        const FinalEpoch epoch{record, d, placemarks_, log_date_};
        for (EpochOutput* output : outputs_) output->epoch(epoch);
        for (std::size_t i = 0; i < static_cast<std::size_t>(d.placemarks); ++i) placemarks_ += d.drawn[i] ? 1 : 0;
    }
    void last_epoch_follows() override { selection_.last_epoch_follows(); }

private:
    EpochSelection selection_;
    std::vector<EpochOutput*> outputs_;
    std::string log_date_;
    std::int32_t placemarks_ = 0;
};

// The session at a glance, complete once the log has ended.
class SummaryOutput : public EpochOutput {
public:
    explicit SummaryOutput(const InputFormatRow& format) : format_(format) {}
    const char* name() const override { return "session summary"; }
    void epoch(const FinalEpoch& e) override {
        const EpochDecision& d = e.decision;
        int drawn = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(d.placemarks); ++i) drawn += d.drawn[i] ? 1 : 0;
        std::optional<FixClass> first_class;
        if (d.placemarks > 0) first_class = d.classes[0];
        accumulator_.add(e.record, {has_position(e.record), first_class, drawn, d.on_valid_track, e.log_date,
                                    format_.has_correction_age(e.record)});
    }
    // The lines the reading skipped, for formats that count them.
    void set_skipped_lines(std::optional<std::uint64_t> lines) { skipped_lines_ = lines; }
    void finish(std::uint64_t) override {
        summary_ = accumulator_.finish();
        summary_.skipped_lines = skipped_lines_;
    }
    const SessionSummary& summary() const { return summary_; }

private:
    const InputFormatRow& format_;
    std::optional<std::uint64_t> skipped_lines_;
    SummaryAccumulator accumulator_;
    SessionSummary summary_;
};

// The KML document; with the fix-status strip its description is the
// summary, so it finishes after the summary.
class DocumentOutput : public EpochOutput {
public:
    DocumentOutput(KmlDocument& document, const SummaryOutput& summary, bool timeline)
        : document_(document), summary_(summary), timeline_(timeline) {}
    const char* name() const override { return "KML document"; }
    void epoch(const FinalEpoch& e) override {
        const EpochDecision& d = e.decision;
        for (std::size_t i = 0; i < static_cast<std::size_t>(d.placemarks); ++i)
            if (d.drawn[i]) document_.placemark(e.record, d.classes[i]);
        if (d.on_valid_track) document_.track_point(Track::Valid, e.record, d.valid_track_breaks);
        if (d.on_all_points_track) document_.track_point(Track::AllPoints, e.record, d.all_points_track_breaks);
    }
    void finish(std::uint64_t epochs) override {
        document_.finish(epochs, timeline_ ? summary_html(summary_.summary()) : std::string());
    }

private:
    KmlDocument& document_;
    const SummaryOutput& summary_;
    bool timeline_;
};

}  // namespace

KmlLook document_look(const ConversionOptions& options, IconNames icons) {
    return {input_format_row(options.input_format).layout, std::move(icons), options.icon_scale,
            options.show_height,     options.track_width,       options.track_color,
            options.use_all_waypoints, options.full_track_color, options.epoch_data,
            options.split_gap_ms > 0, options.timeline ? kTimelineMember : ""};
}

CompanionLook companion_look(const ConversionOptions& options) {
    return {input_format_row(options.input_format).layout->fields, options.use_all_waypoints,
            options.split_gap_ms > 0};
}

LogDocument write_log_document(InputFile& input, const ConversionOptions& options, IconNames icons,
                               ByteSink& sink, RunHost& host, const std::vector<EpochOutput*>& companions) {
    KmlDocument document(sink, document_look(options, std::move(icons)));
    host.phase(RunPhase::Reading, 0);
    // The summary first: the document's description is made from it.
    const InputFormatRow& format = input_format_row(options.input_format);
    SummaryOutput summary(format);
    DocumentOutput document_output(document, summary, options.timeline);
    std::vector<EpochOutput*> outputs{&summary, &document_output};
    outputs.insert(outputs.end(), companions.begin(), companions.end());
    EpochFeed feed(options, outputs);
    EpochStream epochs(feed);
    // Each epoch's placemarks are written as soon as the epoch is final.
    const std::uint64_t progress_step = input.size() / 100;  // the gauge's step
    const IngestReport report = format.ingest(input, progress_step, host, epochs);
    epochs.finish();

    LogDocument result{epochs.size(), document.placemark_count(), {}};
    summary.set_skipped_lines(report.skipped_lines);
    summary.finish(result.epochs);
    result.summary = summary.summary();
    host.phase(RunPhase::Writing, *result.placemarks);
    for (std::size_t i = 1; i < outputs.size(); ++i) outputs[i]->finish(result.epochs);
    return result;
}

}  // namespace zelvo
