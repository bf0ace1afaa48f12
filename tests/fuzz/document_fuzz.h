// The document of one log, written in memory the way a run writes it into
// the archive, for the document fuzz targets. The bytes come in through a
// memory file, so the ingestion reads them as it reads a log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "engine/conversion_options.h"
#include "engine/epoch_stream.h"
#include "engine/ingestion.h"
#include "engine/input_file.h"
#include "engine/run_host.h"
#include "engine/waypoint_selection.h"
#include "output/icon_maker.h"
#include "output/kml_stream.h"
#include "output/kml_writer.h"
#include "xml_check.h"

namespace zelvo::fuzz {

class StringSink : public ByteSink {
public:
    void write(const char* data, std::size_t size) override { text.append(data, size); }
    std::string text;
};

// Writes the whole document of `data` read as `format` and stops the
// process when it is not well-formed.
inline void check_document(const std::uint8_t* data, std::size_t size, std::int32_t format) {
    int fd = ::memfd_create("log", MFD_CLOEXEC);
    if (fd < 0 || (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size))) std::abort();
    InputFile input;
    if (!input.open("/proc/self/fd/" + std::to_string(fd))) std::abort();

    // The switches that change what is written follow the input's size, so
    // every corpus entry also meets the other settings.
    ConversionOptions options;
    options.input_format = format;
    options.use_all_waypoints = true;
    options.show_height = (size & 1) != 0;
    options.use_fixed_date = (size & 2) != 0;
    IconNames icons;
    for (int i = 0; i < kFixClassCount; ++i)
        icons[i] = icon_file_name(options.class_color(static_cast<FixClass>(i)));

    StringSink sink;
    {
        // The run's order: head, the valid track's style, the waypoint
        // folder, the valid track, the all-epochs track, the tail.
        KmlStream kml(sink);
        HeadlessHost host;
        kml.put("<kml>\n"_kml).put("<Document>\n"_kml);
        write_line_style(kml, options.track_width, options.track_color, "NormalTrack");
        WaypointSelection selection(kml, options, icons);
        EpochStream epochs(selection);
        kml.put("<Folder>\n"_kml).put("<name>WayPoints</name>\n"_kml);
        if (format == kFormatNmea) ingest_nmea(input, input.size() / 100, host, epochs);
        else ingest_binary(input, input.size() / 100, host, epochs);
        epochs.finish();
        kml.put("</Folder>\n"_kml);
        selection.write_valid_track(epochs.size());
        write_line_style(kml, options.track_width, options.full_track_color, "IncorrectTrack");
        selection.write_all_points_track();
        kml.put("</Document>\n"_kml).put("</kml>"_kml);
        kml.flush();
    }
    input.close();
    ::close(fd);
    std::string fault = xml_fault(sink.text);
    if (!fault.empty()) {
        std::fprintf(stderr, "The document is not well-formed: %s\n", fault.c_str());
        std::abort();
    }
}

}  // namespace zelvo::fuzz
