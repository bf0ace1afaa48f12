#include "engine/conversion_run.h"

#include <array>
#include <ctime>
#include <cstdio>
#include <limits.h>
#include <unistd.h>
#include <vector>

#include "engine/epoch_stream.h"
#include "engine/ingestion.h"
#include "engine/input_file.h"
#include "engine/output_guard.h"
#include "engine/summary_report.h"
#include "engine/waypoint_selection.h"
#include "output/epoch_data.h"
#include "output/icon_maker.h"
#include "output/kml_stream.h"
#include "output/kml_writer.h"
#include "output/kmz_packager.h"
#include "output/spool_sink.h"
#include "output/timeline_image.h"

namespace zelvo {

std::string executable_dir() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

namespace {

constexpr std::array<FixClass, kFixClassCount> kIconOrder = {
    FixClass::Auto, FixClass::Diff,
    FixClass::RtkFix, FixClass::RtkFloat, FixClass::Estimated, FixClass::Invalid};

// Directory part with its trailing '/', or empty.
std::string directory_part(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The name with its extension (from the last '.' after the last '/')
// replaced by ".kml", or ".kml" appended when it has none.
std::string kml_name_for(const std::string& name) {
    std::size_t slash = name.rfind('/');
    std::size_t dot = name.rfind('.');
    bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (has_extension ? name.substr(0, dot) : name) + ".kml";
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

constexpr const char* kTimelineMember = "timeline.png";

// With the timeline the document's description, the summary known only at
// the end, goes before the body, which waited in a spool; the strip is
// pinned to the bottom of the view.
void finish_timeline_document(KmlStream& head, KmlStream& body, SpoolSink& body_spool, const SessionSummary& s) {
    head.put("<description><![CDATA["_kml).put(summary_html(s)).put("]]></description>\n"_kml);
    body.flush();
    body_spool.copy_to(head);
    head.put("<ScreenOverlay>\n"_kml)
        .put("<name>Fix status</name>\n"_kml)
        .put("<Icon><href>"_kml).put(kTimelineMember).put("</href></Icon>\n"_kml)
        .put("<overlayXY x=\"0.5\" y=\"0\" xunits=\"fraction\" yunits=\"fraction\"/>\n"_kml)
        .put("<screenXY x=\"0.5\" y=\"0\" xunits=\"fraction\" yunits=\"fraction\"/>\n"_kml)
        .put("<size x=\""_kml).put_int(kTimelineWidth).put("\" y=\""_kml).put_int(kTimelineHeight)
        .put("\" xunits=\"pixels\" yunits=\"pixels\"/>\n"_kml)
        .put("</ScreenOverlay>\n"_kml);
}

void add_timeline_member(KmzPackager& archive, const SessionSummary& s, const ConversionOptions& options) {
    const std::vector<unsigned char> png = encode_png(draw_timeline(timeline_picture(s, options), timeline_font_path()));
    archive.begin_member(kTimelineMember, std::time(nullptr))
        .write(reinterpret_cast<const char*>(png.data()), png.size());
    archive.end_member();
}

}  // namespace

RunResult conversion_run(ConversionOptions& options, RunHost& host) {
    // 1. The log.
    InputFile input;
    if (!input.open(options.input_path)) {
        host.set_status("Can't open the input file");
        host.pump_messages();
        return {RunOutcome::InputNotOpened, input.error(), {}};
    }

    // 2. Where the output goes. The KML document is written straight into
    // the archive as its first member, so no loose copy of it can be lost.
    const std::string output_dir =
        options.output_path.empty() ? executable_dir() : directory_part(options.output_path);
    const std::string kml_path = output_dir + kml_name_for(options.output_name);
    const std::string archive_path = output_dir + options.output_name;
    std::string refusal;
    if (kml_path == archive_path) {
        // The archive would take the name of the document it packs.
        refusal = "the output name ends in \".kml\", the name of the KML document inside the archive; "
                  "name the output with \".kmz\"";
    } else {
        refusal = output_refusal(archive_path, options.input_path);
    }
    if (!refusal.empty()) {
        host.set_status("Can't create the output file");
        host.pump_messages();
        return {RunOutcome::OutputNotCreated, refusal};
    }
    KmzPackager archive;
    archive.OnProcessFileFailure = [&host](const std::string& text) { return host.file_failure(text); };
    try {
        archive.create(archive_path);
    } catch (const std::exception& e) {
        host.set_status("Can't create the output file");
        host.pump_messages();
        return {RunOutcome::OutputNotCreated, e.what(), {}};
    }

    // 3. From here on the archive is output_path.
    options.output_path = archive_path;

    // 4. The window.
    host.reset_progress();
    host.set_status(" ");
    host.set_count_text(" ");
    host.set_run_enabled(false);
    bool locked = false;
    std::uint64_t epochs_read = 0;
    RunResult result;

    try {
        KmlStream head(archive.begin_member(base_name(kml_path), std::time(nullptr)));
        // 5. Head.
        // Readers that follow the standard show a root without the KML
        // namespace as an empty map.
        head.put("<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"_kml).put("<Document>\n"_kml);
        // With the timeline the body waits in a spool (see finish_timeline_document).
        SpoolSink body_spool;
        KmlStream body(body_spool);
        KmlStream& kml = options.timeline ? body : head;

        // 6. Icons, one per class, made in memory: the output folder may
        // hold the user's own files of these names.
        IconNames icons;
        std::vector<Icon> icon_images;
        const std::time_t icons_made = std::time(nullptr);
        for (FixClass c : kIconOrder) {
            icon_images.push_back(make_icon(options.class_color(c)));
            icons[static_cast<int>(c)] = icon_images.back().name;
        }

        // 7. Styles of the tracks. Shared styles come before any folder or
        // placemark of the document.
        write_line_style(kml, options.track_width, options.track_color, "NormalTrack");
        if (options.use_all_waypoints) {
            write_line_style(kml, options.track_width, options.full_track_color, "IncorrectTrack");
        }

        // 8. Gauge step.
        const std::uint64_t progress_step = input.size() / 100;

        // 9.
        host.set_status("The progress started");
        host.set_options_enabled(false);
        locked = true;

        // 10 and 11: each epoch's placemarks are written as soon as the
        // epoch is final, so the folder opens before the log is read.
        const bool known_format =
            options.input_format == kFormatNmea || options.input_format == kFormatBinary;
        WaypointSelection selection(kml, options, icons);
        SummaryAccumulator summary;
        selection.gather_summary(summary);
        EpochStream epochs(selection);
        // A Schema follows the document's styles and comes before its features.
        if (known_format && options.epoch_data) write_epoch_schema(kml, options.input_format);
        if (known_format) kml.put("<Folder>\n"_kml).put("<name>WayPoints</name>\n"_kml);
        if (options.input_format == kFormatNmea) ingest_nmea(input, progress_step, host, epochs);
        if (options.input_format == kFormatBinary) ingest_binary(input, progress_step, host, epochs);
        epochs.finish();
        epochs_read = epochs.size();
        if (known_format) {
            host.set_status("Creation of KML-file");
            kml.put("</Folder>\n"_kml);
            host.set_count_text("Waypoints " + std::to_string(selection.count()));
            selection.write_valid_track(epochs.size());
        }

        // 12. The track through every epoch.
        if (options.use_all_waypoints) selection.write_all_points_track();

        result.summary = summary.finish();
        if (options.timeline) finish_timeline_document(head, body, body_spool, *result.summary);

        // 13. Tail, without a line end after it.
        head.put("</Document>\n"_kml).put("</kml>"_kml);

        // 14.
        head.flush();
        archive.end_member();
        input.close();

        // 15. The icons in class order after the document; a repeated
        // colour replaces its own member.
        for (const Icon& icon : icon_images) archive.add_bytes(icon.name, icon.png, icons_made);
        if (options.timeline) add_timeline_member(archive, *result.summary, options);
        archive.close();
    } catch (...) {
        input.close();
        archive.abandon();
        host.set_run_enabled(true);
        if (locked) host.set_options_enabled(true);
        throw;
    }

    // 17 to 19.
    host.set_status("The progress finished");
    std::string message = "The progress finished!\n\rInput file " + options.input_name + "\n\r" + host.count_text();
    if (host.is_interactive()) {
        if (epochs_read == 0) host.show_no_epoch_information(message, options.input_format);
        else host.show_information_with_details(message, summary_lines(*result.summary, ""));
    }
    host.set_run_enabled(true);
    host.set_options_enabled(true);
    result.epochs = epochs_read;
    return result;
}

}  // namespace zelvo
