#include "engine/conversion_run.h"

#include <algorithm>
#include <ctime>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <unistd.h>

#include "engine/input_file.h"
#include "engine/input_formats.h"
#include "engine/log_deviation.h"
#include "engine/log_document.h"
#include "engine/output_guard.h"
#include "engine/summary_report.h"
#include "output/file_paths.h"
#include "output/icon_maker.h"
#include "output/kmz_packager.h"
#include "output/posix_file.h"
#include "output/replaced_file.h"
#include "output/spool_sink.h"
#include "output/timeline_image.h"

namespace zelvo {

namespace {

// The name with its extension (from the last '.' after the last '/')
// replaced by ".kml", or ".kml" appended when it has none.
std::string kml_name_for(const std::string& name) {
    std::size_t slash = name.rfind('/');
    std::size_t dot = name.rfind('.');
    bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (has_extension ? name.substr(0, dot) : name) + ".kml";
}

// Where a run's output goes. The KML document is written straight into the
// archive as its first member, so no loose copy of it can be lost.
struct OutputPlace {
    std::string kml_path;
    std::string archive_path;
};

std::string output_dir(const ConversionOptions& options) {
    return options.output_path.empty() ? executable_dir() : directory_part(options.output_path);
}

OutputPlace output_place(const ConversionOptions& options) {
    const std::string dir = output_dir(options);
    return {dir + kml_name_for(options.output_name), dir + options.output_name};
}

// A run that stops before it has begun: the phase names what failed.
RunResult refused(RunHost& host, RunOutcome outcome, std::string reason) {
    host.phase(outcome == RunOutcome::InputNotOpened ? RunPhase::InputRefused : RunPhase::OutputRefused, 0);
    host.pump_messages();
    RunResult result;
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

// The archive at the output place, or the reason it cannot be made. The
// output is checked before the log is read.
std::optional<std::string> create_archive(KmzPackager& archive, const OutputPlace& place,
                                          const ConversionOptions& options, RunHost& host) {
    if (place.kml_path == place.archive_path) {
        // The archive would take the name of the document it packs.
        return "the output name ends in \".kml\", the name of the KML document inside the archive; "
               "name the output with \".kmz\"";
    }
    std::string refusal = output_refusal(place.archive_path, options.input_path);
    if (!refusal.empty()) return refusal;
    archive.OnProcessFileFailure = [&host](const std::string& text) { return host.file_failure(text); };
    try {
        archive.create(place.archive_path);
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

// A companion file, replaced only once it is complete.
class ReplacedFileSink : public ByteSink {
public:
    explicit ReplacedFileSink(const std::string& path) { file_.open(path); }
    void write(const char* data, std::size_t size) override { file_.write(data, size); }
    void commit() { file_.commit(); }

private:
    ReplacedFile file_;
};

// Standard output as a sink; a reader that went away is a failed write.
class StandardOutputSink : public ByteSink {
public:
    void write(const char* data, std::size_t size) override {
        write_all(STDOUT_FILENO, data, size, "standard output");
    }
};

// The companion files of a run: where each goes and what writes it.
struct Companions {
    std::vector<std::unique_ptr<ByteSink>> sinks;
    std::vector<std::unique_ptr<EpochOutput>> writers;
    std::vector<ReplacedFileSink*> files;  // the sinks that are files

    std::vector<EpochOutput*> outputs() const {
        std::vector<EpochOutput*> list;
        for (const auto& w : writers) list.push_back(w.get());
        return list;
    }
    // Each complete file takes its name; standard output has none to take.
    void commit() {
        for (ReplacedFileSink* file : files) file->commit();
    }
};

// Why a companion may not be written, naming it; empty when all may.
std::string companions_refusal(const ConversionOptions& options) {
    for (const CompanionFile& file : options.companions) {
        if (file.path == "-") continue;
        const std::string reason = companion_refusal(file, companion_look(options), options.input_path);
        if (!reason.empty()) return file.path + ": " + reason;
    }
    return {};
}

// Each companion under a temporary beside it (or on standard output); the
// old files stay until the run has succeeded.
Companions open_companions(const ConversionOptions& options) {
    Companions c;
    const CompanionLook look = companion_look(options);
    for (const CompanionFile& file : options.companions) {
        if (file.path == "-") c.sinks.push_back(std::make_unique<StandardOutputSink>());
        else {
            auto replacing = std::make_unique<ReplacedFileSink>(file.path);
            c.files.push_back(replacing.get());
            c.sinks.push_back(std::move(replacing));
        }
        c.writers.push_back(companion_format(file.kind).make(*c.sinks.back(), look));
    }
    return c;
}

// Icons, one per class in class order, made in memory: the output folder
// may hold the user's own files of these names.
std::vector<Icon> make_icons(const ConversionOptions& options) {
    std::vector<Icon> icons;
    for (FixClass c : kIconOrder) icons.push_back(make_icon(options.class_color(c)));
    return icons;
}

IconNames icon_names(const std::vector<Icon>& icons) {
    IconNames names;
    for (std::size_t i = 0; i < icons.size(); ++i) names[static_cast<std::size_t>(kIconOrder[i])] = icons[i].name;
    return names;
}

void add_timeline_member(KmzPackager& archive, const SessionSummary& s, const ConversionOptions& options,
                         const std::string& name = kTimelineMember) {
    const std::vector<unsigned char> png = encode_png(draw_timeline(timeline_picture(s, options), timeline_font_path()));
    archive.begin_member(name, std::time(nullptr)).write(reinterpret_cast<const char*>(png.data()), png.size());
    archive.end_member();
}

std::vector<unsigned char> scatter_png(const LogDocument& document, const ConversionOptions& options) {
    return encode_png(
        draw_scatter(scatter_picture(document.summary.standing, document.scatter, options), timeline_font_path()));
}

void add_png_member(KmzPackager& archive, const std::string& name, const std::vector<unsigned char>& png) {
    archive.begin_member(name, std::time(nullptr)).write(reinterpret_cast<const char*>(png.data()), png.size());
    archive.end_member();
}

// Gathers a log's positions for the comparison with the first log.
class PositionsOutput : public EpochOutput {
public:
    const char* name() const override { return "positions"; }
    void epoch(const FinalEpoch& e) override {
        const EpochDecision& d = e.decision;
        std::optional<FixClass> first_class;
        if (d.placemarks > 0) first_class = d.classes[0];
        if (counts_as_positioned(e.record, {has_position(e.record), first_class, 0, false, e.log_date}))
            positions_.add(e.record, e.log_date);
    }
    void finish(std::uint64_t) override {}
    LogPositions take() { return std::move(positions_).take(); }

private:
    PositionCollector positions_;
};

// The section of the k-th log: its folder, its track colours and styles.
KmlLook section_look(ConversionOptions& options, std::size_t k, const IconNames& icons) {
    if (k > 0) {
        options.track_color = kMergePalette[(2 * (k - 1)) % kMergePalette.size()];
        options.full_track_color = kMergePalette[(2 * (k - 1) + 1) % kMergePalette.size()];
    }
    KmlLook look = document_look(options, icons);
    look.timeline_member.clear();
    look.scatter_member.clear();
    look.section_name = options.input_name;
    if (k > 0) look.style_suffix = std::string(1, '-').append(std::to_string(k + 1));
    return look;
}

// The kinds of epoch fields of the merged logs, each once: one Schema
// holds them all; none without --data.
std::vector<EpochFieldSet> sections_schema(const std::vector<ConversionOptions>& logs) {
    std::vector<EpochFieldSet> sets;
    for (const ConversionOptions& o : logs) {
        const EpochFieldSet set = input_format_row(o.input_format).layout->fields;
        if (o.epoch_data && std::find(sets.begin(), sets.end(), set) == sets.end()) sets.push_back(set);
    }
    return sets;
}

std::string sections_description(const std::vector<ConversionOptions>& logs, const std::vector<RunResult>& results) {
    std::string d;
    for (std::size_t k = 0; k < results.size(); ++k) {
        std::string name;
        for (char c : logs[k].input_name) name += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
        d += "<h3>" + name + "</h3>\n" + summary_html(*results[k].summary);
    }
    return d;
}

MergedRun write_merged_archive(std::vector<ConversionOptions>& logs, std::vector<InputFile>& inputs,
                               const OutputPlace& place, KmzPackager& archive, RunHost& host) {
    host.reset_progress();
    host.phase(RunPhase::Begun, 0);
    auto close_inputs = [&] {
        for (InputFile& in : inputs) in.close();
    };
    try {
        const ConversionOptions& first = logs.front();
        ByteSink& member = archive.begin_member(file_name_part(place.kml_path), std::time(nullptr));
        const std::time_t icons_made = std::time(nullptr);
        const std::vector<Icon> icons = make_icons(first);
        // With the strips the description, known only at the end, comes
        // first: the sections wait in a spool.
        SpoolSink spool;
        KmlStream head(member);
        if (!first.timeline) {
            put_sections_head(head, {}, sections_schema(logs));
            head.flush();
        }
        ByteSink& sections = first.timeline ? static_cast<ByteSink&>(spool) : member;
        MergedRun run;
        run.archive_path = place.archive_path;
        // Each log's companions, under temporaries until the archive is whole.
        std::vector<Companions> companions;
        for (const ConversionOptions& log : logs) companions.push_back(open_companions(log));
        // Each scatter is drawn as soon as its log is read: only the picture waits.
        std::vector<std::vector<unsigned char>> scatters;
        LogPositions first_positions;
        for (std::size_t k = 0; k < logs.size(); ++k) {
            PositionsOutput positions;
            std::vector<EpochOutput*> outputs = companions[k].outputs();
            outputs.push_back(&positions);
            LogDocument document = write_log_document(inputs[k], logs[k], section_look(logs[k], k, icon_names(icons)),
                                                      sections, host, outputs);
            inputs[k].close();
            if (k == 0) first_positions = positions.take();
            else document.summary.versus_first = compare_with_first(first_positions, positions.take());
            if (first.timeline && first.standing) scatters.push_back(scatter_png(document, logs[k]));
            run.logs.push_back({RunOutcome::Finished, {}, document.placemarks, place.archive_path, document.epochs,
                                std::move(document.summary)});
        }
        std::vector<ScreenPicture> pictures;
        if (first.timeline) {
            put_sections_head(head, sections_description(logs, run.logs), sections_schema(logs));
            spool.copy_to(head);
            for (std::size_t k = 0; k < logs.size(); ++k) {
                pictures.push_back({"Fix status: " + logs[k].input_name, numbered_name(kTimelineMember, k), false,
                                    static_cast<int>(k)});
                if (first.standing)
                    pictures.push_back({"Horizontal scatter: " + logs[k].input_name,
                                        numbered_name(kScatterMember, k), true, static_cast<int>(k)});
            }
        }
        put_sections_tail(head, pictures);
        head.flush();
        archive.end_member();
        for (const Icon& icon : icons) archive.add_bytes(icon.name, icon.png, icons_made);
        for (std::size_t k = 0; first.timeline && k < logs.size(); ++k) {
            add_timeline_member(archive, *run.logs[k].summary, logs[k], numbered_name(kTimelineMember, k));
            if (first.standing) add_png_member(archive, numbered_name(kScatterMember, k), scatters[k]);
        }
        archive.close();
        for (Companions& c : companions) c.commit();
        return run;
    } catch (...) {
        close_inputs();
        archive.abandon();
        throw;
    }
}

// Writes the document into the archive and packs the icons and the strip
// after it. On a failure the temporary archive goes and the old one stays
// before the failure is rethrown.
RunResult write_archive(const ConversionOptions& options, const OutputPlace& place, InputFile& input,
                        KmzPackager& archive, RunHost& host) {
    host.reset_progress();
    host.phase(RunPhase::Begun, 0);
    try {
        Companions companions = open_companions(options);
        ByteSink& member = archive.begin_member(file_name_part(place.kml_path), std::time(nullptr));
        const std::time_t icons_made = std::time(nullptr);
        const std::vector<Icon> icons = make_icons(options);
        LogDocument document =
            write_log_document(input, options, icon_names(icons), member, host, companions.outputs());
        archive.end_member();
        input.close();
        // The icons in class order after the document; a repeated colour
        // replaces its own member.
        for (const Icon& icon : icons) archive.add_bytes(icon.name, icon.png, icons_made);
        if (options.timeline) add_timeline_member(archive, document.summary, options);
        if (options.timeline && options.standing) add_png_member(archive, kScatterMember, scatter_png(document, options));
        archive.close();
        companions.commit();
        return {RunOutcome::Finished, {}, document.placemarks, place.archive_path, document.epochs,
                std::move(document.summary)};
    } catch (...) {
        input.close();
        archive.abandon();
        throw;
    }
}

}  // namespace

std::string waypoints_text(std::int32_t placemarks) { return "Waypoints " + std::to_string(placemarks); }

std::string count_text(const RunResult& result) {
    return result.placemarks ? waypoints_text(*result.placemarks) : " ";
}

std::string finished_message(const std::string& input_name, const RunResult& result) {
    return "The progress finished!\n\rInput file " + input_name + "\n\r" + count_text(result);
}

std::string archive_path_for(const ConversionOptions& options) { return output_dir(options) + options.output_name; }

MergedRun merge_run(std::vector<ConversionOptions> logs, RunHost& host) {
    MergedRun refusal;
    std::vector<InputFile> inputs(logs.size());
    for (std::size_t k = 0; k < logs.size(); ++k) {
        if (!inputs[k].open(logs[k].input_path)) {
            RunResult r = refused(host, RunOutcome::InputNotOpened, inputs[k].error());
            refusal.outcome = r.outcome;
            refusal.reason = r.reason;
            refusal.refused_log = k;
            return refusal;
        }
    }
    // Each log in its own format, recognised by content unless given.
    std::vector<bool> recognised(logs.size(), false);
    for (std::size_t k = 0; k < logs.size(); ++k) {
        if (!logs[k].detect_format) continue;
        try {
            if (std::optional<InputFormat> f = detect_input_format(inputs[k].peek(kDetectionBytes))) {
                logs[k].input_format = *f;
                recognised[k] = true;
            }
        } catch (const std::runtime_error&) {
            // Damaged compressed data fails again when read, with the run's clean-up.
        }
    }
    const OutputPlace place = output_place(logs.front());
    KmzPackager archive;
    std::optional<std::string> reason;
    for (std::size_t k = 1; k < logs.size() && !reason; ++k) {
        std::string r = output_refusal(place.archive_path, logs[k].input_path);
        if (!r.empty()) reason = r;
    }
    for (std::size_t k = 0; k < logs.size() && !reason; ++k) {
        std::string r = companions_refusal(logs[k]);
        if (!r.empty()) reason = r;
    }
    if (!reason) reason = create_archive(archive, place, logs.front(), host);
    if (reason) {
        RunResult r = refused(host, RunOutcome::OutputNotCreated, std::move(*reason));
        refusal.outcome = r.outcome;
        refusal.reason = r.reason;
        return refusal;
    }
    MergedRun run = write_merged_archive(logs, inputs, place, archive, host);
    for (std::size_t k = 0; k < logs.size(); ++k) {
        run.logs[k].format = logs[k].input_format;
        run.logs[k].format_recognised = recognised[k];
    }
    host.phase(RunPhase::Finished, run.logs.back().placemarks.value_or(0));
    return run;
}

RunResult conversion_run(const ConversionOptions& options, RunHost& host) {
    InputFile input;
    if (!input.open(options.input_path)) return refused(host, RunOutcome::InputNotOpened, input.error());

    const OutputPlace place = output_place(options);
    if (std::string reason = companions_refusal(options); !reason.empty())
        return refused(host, RunOutcome::OutputNotCreated, std::move(reason));
    KmzPackager archive;
    if (auto reason = create_archive(archive, place, options, host))
        return refused(host, RunOutcome::OutputNotCreated, std::move(*reason));

    ConversionOptions run_options = options;
    std::optional<InputFormat> recognised;
    if (options.detect_format) {
        try {
            recognised = detect_input_format(input.peek(kDetectionBytes));
        } catch (const std::runtime_error&) {
            // Damaged compressed data: reading it again below fails the same
            // way, where the run removes its unfinished archive.
        }
        if (recognised) run_options.input_format = *recognised;
    }
    RunResult result = write_archive(run_options, place, input, archive, host);
    result.format = run_options.input_format;
    result.format_recognised = recognised.has_value();
    host.phase(RunPhase::Finished, result.placemarks.value_or(0));
    return result;
}

}  // namespace zelvo
