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
#include "engine/summary_report.h"
#include "engine/waypoint_selection.h"
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
    if (kml_path == archive_path) {
        // The archive would take the name of the document it packs.
        host.set_status("Can't create the output file");
        host.pump_messages();
        return {RunOutcome::OutputNotCreated,
                "the output name ends in \".kml\", the name of the KML document inside the archive; "
                "name the output with \".kmz\"", {}};
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
    const std::string icon_dir = output_dir.empty() ? "." : output_dir.substr(0, output_dir.size() - 1);

    // 4. The window.
    host.reset_progress();
    host.set_status(" ");
    host.set_count_text(" ");
    host.set_run_enabled(false);
    bool locked = false;
    LooseFiles icon_files;
    RunResult result;

    try {
        KmlStream head(archive.begin_member(base_name(kml_path), std::time(nullptr)));
        // 5. Head.
        head.put("<kml>\n"_kml).put("<Document>\n"_kml);
        // With the timeline the body waits in a spool (see finish_timeline_document).
        SpoolSink body_spool;
        KmlStream body(body_spool);
        KmlStream& kml = options.timeline ? body : head;

        // 6. Icons, one per class.
        IconNames icons;
        for (FixClass c : kIconOrder) {
            const int i = static_cast<int>(c);
            icons[i] = make_icon(options.class_color(c), icon_dir);
            icon_files.paths.push_back(icon_dir + "/" + icons[i]);
        }

        // 7. Style of the valid track.
        write_line_style(kml, options.track_width, options.track_color, "NormalTrack");

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
        if (known_format) kml.put("<Folder>\n"_kml).put("<name>WayPoints</name>\n"_kml);
        if (options.input_format == kFormatNmea) ingest_nmea(input, progress_step, host, epochs);
        if (options.input_format == kFormatBinary) ingest_binary(input, progress_step, host, epochs);
        epochs.finish();
        if (known_format) {
            host.set_status("Creation of KML-file");
            kml.put("</Folder>\n"_kml);
            host.set_count_text("Waypoints " + std::to_string(selection.count()));
            selection.write_valid_track(epochs.size());
        }

        // 12. The track through every epoch.
        if (options.use_all_waypoints) {
            write_line_style(kml, options.track_width, options.full_track_color, "IncorrectTrack");
            selection.write_all_points_track();
        }

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
        for (const std::string& icon : icon_files.paths) archive.add_file(icon);
        if (options.timeline) add_timeline_member(archive, *result.summary, options);
        archive.close();

        // 16.
        icon_files.remove_all();
    } catch (...) {
        input.close();
        archive.abandon();
        icon_files.remove_all();
        host.set_run_enabled(true);
        if (locked) host.set_options_enabled(true);
        throw;
    }

    // 17 to 19.
    host.set_status("The progress finished");
    std::string message = "The progress finished!\n\rInput file " + options.input_name + "\n\r" + host.count_text();
    if (host.is_interactive()) host.show_information_with_details(message, summary_lines(*result.summary, ""));
    host.set_run_enabled(true);
    host.set_options_enabled(true);
    return result;
}

}  // namespace zelvo
