// The document of one log, written in memory the way a run writes it into
// the archive, for the document fuzz targets. The bytes come in through a
// memory file, so the ingestion reads them as it reads a log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "engine/conversion_options.h"
#include "engine/input_file.h"
#include "engine/log_document.h"
#include "engine/run_host.h"
#include "output/icon_maker.h"
#include "output/kml_stream.h"
#include "xml_check.h"

namespace zelvo::fuzz {

class StringSink : public ByteSink {
public:
    void write(const char* data, std::size_t size) override { text.append(data, size); }
    std::string text;
};

// Writes the whole document of `data` read as `format` and stops the
// process when it is not well-formed.
inline void check_document(const std::uint8_t* data, std::size_t size, InputFormat format) {
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
    options.epoch_data = (size & 4) != 0;
    options.split_gap_ms = (size & 8) != 0 ? 1000 : 0;
    options.timeline = (size & 16) != 0;
    options.placemark_interval_ms = (size & 32) != 0 ? 2000 : 0;
    IconNames icons;
    for (int i = 0; i < kFixClassCount; ++i)
        icons[i] = icon_file_name(options.class_color(static_cast<FixClass>(i)));

    // The whole document as a run writes it, both tracks included.
    StringSink sink;
    HeadlessHost host;
    try {
        write_log_document(input, options, icons, sink, host);
    } catch (const std::runtime_error&) {
        // Damaged compressed data and a baseline solution are refused with a
        // reason, as a run reports them: no document to check.
        ::close(fd);
        return;
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
