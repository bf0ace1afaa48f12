#include "engine/conversion_run.h"

#include <ctime>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <unistd.h>

#include "engine/input_file.h"
#include "engine/input_formats.h"
#include "engine/log_document.h"
#include "engine/output_guard.h"
#include "engine/summary_report.h"
#include "output/file_paths.h"
#include "output/icon_maker.h"
#include "output/kmz_packager.h"
#include "output/posix_file.h"
#include "output/replaced_file.h"
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

void add_timeline_member(KmzPackager& archive, const SessionSummary& s, const ConversionOptions& options) {
    const std::vector<unsigned char> png = encode_png(draw_timeline(timeline_picture(s, options), timeline_font_path()));
    archive.begin_member(kTimelineMember, std::time(nullptr))
        .write(reinterpret_cast<const char*>(png.data()), png.size());
    archive.end_member();
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
