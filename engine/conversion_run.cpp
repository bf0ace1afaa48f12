#include "engine/conversion_run.h"

#include <ctime>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "engine/epoch_stream.h"
#include "engine/ingestion.h"
#include "engine/input_file.h"
#include "engine/waypoint_selection.h"
#include "output/file_paths.h"
#include "output/icon_maker.h"
#include "output/kml_document.h"
#include "output/kmz_packager.h"

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

// The loose icon files a run makes; they go into the archive and are then
// deleted, also when the run fails half-way. Two classes of one colour
// share a file, which the second deletion finds gone.
struct LooseFiles {
    std::vector<std::string> paths;
    void remove_all() {
        for (const std::string& p : paths) std::remove(p.c_str());
        paths.clear();
    }
    ~LooseFiles() { remove_all(); }
};

// Where a run's output goes. The KML document is written straight into the
// archive as its first member, so no loose copy of it can be lost.
struct OutputPlace {
    std::string kml_path;
    std::string archive_path;
    std::string icon_dir;  // without its trailing '/'
};

std::string output_dir(const ConversionOptions& options) {
    return options.output_path.empty() ? executable_dir() : directory_part(options.output_path);
}

OutputPlace output_place(const ConversionOptions& options) {
    const std::string dir = output_dir(options);
    return {dir + kml_name_for(options.output_name), dir + options.output_name,
            dir.empty() ? "." : dir.substr(0, dir.size() - 1)};
}

// A run that stops before it has begun: the phase names what failed.
RunResult refused(RunHost& host, RunOutcome outcome, std::string reason) {
    host.phase(outcome == RunOutcome::InputNotOpened ? RunPhase::InputRefused : RunPhase::OutputRefused, 0);
    host.pump_messages();
    return {outcome, std::move(reason), std::nullopt, {}};
}

// The archive at the output place, or the reason it cannot be made.
std::optional<std::string> create_archive(KmzPackager& archive, const OutputPlace& place, RunHost& host) {
    if (place.kml_path == place.archive_path) {
        // The archive would take the name of the document it packs.
        return "the output name ends in \".kml\", the name of the KML document inside the archive; "
               "name the output with \".kmz\"";
    }
    archive.OnProcessFileFailure = [&host](const std::string& text) { return host.file_failure(text); };
    try {
        archive.create(place.archive_path);
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

// One icon per class, in class order, each file noted for removal.
IconNames make_icons(const ConversionOptions& options, const std::string& icon_dir, LooseFiles& files) {
    IconNames icons;
    for (FixClass c : kIconOrder) {
        const int i = static_cast<int>(c);
        icons[i] = make_icon(options.class_color(c), icon_dir);
        files.paths.push_back(icon_dir + "/" + icons[i]);
    }
    return icons;
}

KmlLook document_look(const ConversionOptions& options, IconNames icons) {
    return {options.input_format, std::move(icons), options.icon_scale, options.show_height,
            options.track_width, options.track_color, options.use_all_waypoints,
            options.full_track_color};
}

// Writes each final epoch into the document as the selection decides.
class DocumentFeed : public EpochConsumer {
public:
    DocumentFeed(KmlDocument& document, const ConversionOptions& options)
        : document_(document),
          rules_{options.input_format, options.use_fixed_date, options.fixed_date, options.use_all_waypoints} {}

    void epoch_final(waypoints& record) override {
        EpochDecision d = select_epoch(record, rules_);
        if (d.date) record.date = std::move(*d.date);
        for (int i = 0; i < d.placemarks; ++i) document_.placemark(record, d.classes[i]);
        if (d.on_valid_track) document_.track_point(Track::Valid, record);
        if (d.on_all_points_track) document_.track_point(Track::AllPoints, record);
    }

private:
    KmlDocument& document_;
    SelectionRules rules_;
};

// Reads the log into the document, each epoch's placemarks written as soon
// as the epoch is final; returns the number of epochs read.
std::uint64_t read_log(InputFile& input, const ConversionOptions& options, KmlDocument& document,
                       RunHost& host) {
    const std::uint64_t progress_step = input.size() / 100;  // the gauge's step
    DocumentFeed feed(document, options);
    EpochStream epochs(feed);
    if (options.input_format == kFormatNmea) ingest_nmea(input, progress_step, host, epochs);
    if (options.input_format == kFormatBinary) ingest_binary(input, progress_step, host, epochs);
    epochs.finish();
    return epochs.size();
}

// Writes the document into the archive and packs the icons after it;
// returns the folder's placemark count, if it has a folder. On a failure the
// loose files go and the old archive stays before it is rethrown.
std::optional<std::int32_t> write_archive(const ConversionOptions& options, const OutputPlace& place,
                                          InputFile& input, KmzPackager& archive, RunHost& host) {
    host.reset_progress();
    host.phase(RunPhase::Begun, 0);
    LooseFiles icon_files;
    try {
        ByteSink& member = archive.begin_member(file_name_part(place.kml_path), std::time(nullptr));
        KmlDocument document(member, document_look(options, make_icons(options, place.icon_dir, icon_files)));
        host.phase(RunPhase::Reading, 0);
        const std::uint64_t epochs = read_log(input, options, document, host);
        std::optional<std::int32_t> placemarks;
        if (options.input_format == kFormatNmea || options.input_format == kFormatBinary) {
            placemarks = document.placemark_count();
            host.phase(RunPhase::Writing, *placemarks);
        }
        document.finish(epochs);
        archive.end_member();
        input.close();
        // The icons in class order after the document; a repeated colour
        // replaces its own member.
        for (const std::string& icon : icon_files.paths) archive.add_file(icon);
        archive.close();
        icon_files.remove_all();
        return placemarks;
    } catch (...) {
        input.close();
        archive.abandon();
        icon_files.remove_all();
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
    KmzPackager archive;
    if (auto reason = create_archive(archive, place, host))
        return refused(host, RunOutcome::OutputNotCreated, std::move(*reason));

    RunResult result;
    result.archive_path = place.archive_path;
    result.placemarks = write_archive(options, place, input, archive, host);
    host.phase(RunPhase::Finished, result.placemarks.value_or(0));
    return result;
}

}  // namespace zelvo
