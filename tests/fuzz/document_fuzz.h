// The document of one log, written in memory the way a run writes it into
// the archive, for the document fuzz targets. The bytes come in through a
// memory file, so the ingestion reads them as it reads a log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "engine/conversion_options.h"
#include "engine/input_file.h"
#include "engine/log_document.h"
#include "engine/run_host.h"
#include "output/icon_maker.h"
#include "output/kml_stream.h"

namespace zelvo::fuzz {

class StringSink : public ByteSink {
public:
    void write(const char* data, std::size_t size) override { text.append(data, size); }
    std::string text;
};

// Empty when `doc` is well-formed and validates against the KML 2.2 schema,
// otherwise what is wrong (document_checks.cpp).
std::string document_fault(std::string_view doc);

// What does not depend on the input is made once per process: the memory
// file the bytes go through, the log reader and its buffer, the icon names,
// the sink's storage.
struct DocumentBench {
    DocumentBench() {
        fd = ::memfd_create("log", MFD_CLOEXEC);
        if (fd < 0) std::abort();
        path = "/proc/self/fd/" + std::to_string(fd);
        const ConversionOptions defaults;
        for (int i = 0; i < kFixClassCount; ++i)
            icons[i] = icon_file_name(defaults.class_color(static_cast<FixClass>(i)));
    }
    int fd = -1;
    std::string path;
    InputFile input;
    IconNames icons;
    StringSink sink;
};

// Writes the whole document of `data` read as `format` and stops the
// process when it is not well-formed or does not validate against the KML
// schema.
inline void check_document(const std::uint8_t* data, std::size_t size, InputFormat format) {
    static DocumentBench bench;
    if (::ftruncate(bench.fd, 0) != 0 ||
        (size > 0 && ::pwrite(bench.fd, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();
    InputFile& input = bench.input;
    if (!input.open(bench.path)) std::abort();

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

    // The whole document as a run writes it, both tracks included.
    bench.sink.text.clear();
    HeadlessHost host;
    try {
        write_log_document(input, options, bench.icons, bench.sink, host);
    } catch (const std::runtime_error&) {
        // Damaged compressed data and a baseline solution are refused with a
        // reason, as a run reports them: no document to check.
        input.close();
        return;
    }
    input.close();
    const std::string fault = document_fault(bench.sink.text);
    if (!fault.empty()) {
        std::fprintf(stderr, "The document is %s\n", fault.c_str());
        std::abort();
    }
}

}  // namespace zelvo::fuzz
