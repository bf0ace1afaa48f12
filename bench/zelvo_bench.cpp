// Benchmark: converts a generated NMEA log of N epochs and prints the
// throughput, the peak memory of the conversion, the time zlib alone needs
// to compress the same KML on one core, and (when gpsbabel is installed)
// the time of that program on the same log, what the session summary adds
// to a conversion, and a binary log and a solution file of 500,000 epochs
// against the NMEA log per epoch.
//
//   zelvo_bench [--epochs N] [--dir DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "engine/conversion_run.h"
#include "engine/epoch_stream.h"
#include "engine/ingestion.h"
#include "engine/session_summary.h"
#include "engine/waypoint_selection.h"
#include "nmea_log_generator.h"
#include "tolv_log_generator.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct ChildRun {
    double seconds = 0;
    double cpu_seconds = 0;  // user and system: what the run costs on a shared machine
    long peak_kib = 0;
    bool ok = false;
};

// Runs `work` in a child process so that its peak memory is its own.
template <typename F>
ChildRun in_child(F&& work) {
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) _exit(work() ? 0 : 1);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    ChildRun r;
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.peak_kib = usage.ru_maxrss;
    r.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

std::vector<unsigned char> read_all(const fs::path& p) {
    std::vector<unsigned char> data(fs::file_size(p));
    std::FILE* f = std::fopen(p.c_str(), "rb");
    if (!f || std::fread(data.data(), 1, data.size(), f) != data.size()) data.clear();
    if (f) std::fclose(f);
    return data;
}

unsigned le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned>(p[3]) << 24; }
unsigned le16(const unsigned char* p) { return p[0] | p[1] << 8; }

// The first member of the archive, inflated (the KML document).
std::vector<unsigned char> first_member(const fs::path& kmz) {
    std::vector<unsigned char> zip = read_all(kmz);
    std::vector<unsigned char> out;
    if (zip.size() < 30 || le32(zip.data()) != 0x04034B50) return out;
    unsigned method = le16(zip.data() + 8), csize = le32(zip.data() + 18), usize = le32(zip.data() + 22);
    std::size_t data = 30 + le16(zip.data() + 26) + le16(zip.data() + 28);
    out.resize(usize);
    if (method == 0) {
        std::memcpy(out.data(), zip.data() + data, usize);
        return out;
    }
    z_stream z {};
    inflateInit2(&z, -15);
    z.next_in = zip.data() + data;
    z.avail_in = csize;
    z.next_out = out.data();
    z.avail_out = usize;
    inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return out;
}

double zlib_alone_seconds(const std::vector<unsigned char>& kml) {
    z_stream z {};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> out(1 << 20);
    auto start = Clock::now();
    z.next_in = const_cast<unsigned char*>(kml.data());
    z.avail_in = static_cast<uInt>(kml.size());
    int rc;
    do {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = deflate(&z, Z_FINISH);
    } while (rc == Z_OK);
    deflateEnd(&z);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the long-log check compares of a document, read as it inflates so
// that a document of gigabytes needs no memory: the folder's placemarks and
// their class runs (icons with repeats folded), and everything after the
// folder (both tracks) as its length and CRC.
struct DocumentSummary {
    std::uint64_t placemarks = 0;
    std::vector<std::string> class_runs;
    std::uint64_t tail_bytes = 0;
    unsigned long tail_crc = crc32(0, nullptr, 0);
    bool ok = false;
};

DocumentSummary summarise(const fs::path& kmz) {
    DocumentSummary d;
    std::FILE* f = std::fopen(kmz.c_str(), "rb");
    if (!f) return d;
    unsigned char head[30];
    if (std::fread(head, 1, 30, f) != 30 || le32(head) != 0x04034B50 || le16(head + 8) != 8) {
        std::fclose(f);
        return d;
    }
    std::fseek(f, 30 + le16(head + 26) + le16(head + 28), SEEK_SET);
    z_stream z {};
    inflateInit2(&z, -15);
    std::vector<unsigned char> in(1 << 20), out(1 << 20);
    std::string line;
    bool after_folder = false;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (z.avail_in == 0) {
            z.avail_in = static_cast<uInt>(std::fread(in.data(), 1, in.size(), f));
            z.next_in = in.data();
            if (z.avail_in == 0) break;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t n = out.size() - z.avail_out;
        for (std::size_t i = 0; i < n; ++i) {
            if (after_folder) {
                d.tail_crc = crc32(d.tail_crc, out.data() + i, static_cast<uInt>(n - i));
                d.tail_bytes += n - i;
                break;
            }
            line += static_cast<char>(out[i]);
            if (out[i] != '\n') continue;
            if (line == "<Placemark>\r\n") ++d.placemarks;
            if (line.starts_with("<href>") && (d.class_runs.empty() || d.class_runs.back() != line))
                d.class_runs.push_back(line);
            if (line == "</Folder>\r\n") after_folder = true;
            line.clear();
        }
    }
    d.ok = rc == Z_STREAM_END;
    inflateEnd(&z);
    std::fclose(f);
    return d;
}

// The summary's own work on the epochs of a log: the epochs are gathered in
// batches as the log is read, and only the summary's pass over each batch
// is timed, so that reading and selection, and other work on the machine
// between batches, do not count.
class TimedSummary : public zelvo::EpochConsumer {
public:
    void epoch_final(zelvo::waypoints& r) override {
        batch_[size_] = r;
        if (++size_ == batch_.size()) run_batch();
    }
    double seconds() {
        run_batch();
        auto start = Clock::now();
        (void)summary_.finish();
        seconds_ += std::chrono::duration<double>(Clock::now() - start).count();
        return seconds_;
    }

private:
    static std::optional<zelvo::FixClass> class_of(const zelvo::waypoints& r) {
        switch (r.quality) {
            case 0: return zelvo::FixClass::Invalid;
            case 2: return zelvo::FixClass::Diff;
            case 4: return zelvo::FixClass::RtkFix;
            case 5: return zelvo::FixClass::RtkFloat;
            case 6: return zelvo::FixClass::Estimated;
            default: return zelvo::FixClass::Auto;
        }
    }
    void run_batch() {
        for (std::size_t i = 0; i < size_; ++i)
            facts_[i] = {true, class_of(batch_[i]), 1, zelvo::select_epoch(batch_[i], rules_).on_valid_track,
                         zelvo::receiver_date(batch_[i])};
        auto start = Clock::now();
        for (std::size_t i = 0; i < size_; ++i) summary_.add(batch_[i], facts_[i]);
        seconds_ += std::chrono::duration<double>(Clock::now() - start).count();
        size_ = 0;
    }
    zelvo::SelectionRules rules_;
    std::vector<zelvo::waypoints> batch_ = std::vector<zelvo::waypoints>(1024);
    std::vector<zelvo::EpochFacts> facts_ = std::vector<zelvo::EpochFacts>(1024);
    std::size_t size_ = 0;
    zelvo::SummaryAccumulator summary_;
    double seconds_ = 0;
};

double summary_seconds(const fs::path& log) {
    zelvo::InputFile input;
    if (!input.open(log.string())) return 0;
    zelvo::HeadlessHost host;
    TimedSummary timed;
    zelvo::EpochStream epochs(timed);
    zelvo::ingest_nmea(input, input.size() / 100, host, epochs);
    epochs.finish();
    return timed.seconds();
}

}  // namespace

// A solution file of `epochs` lines at 1 Hz, walking north-east with every
// Q from 1 to 6, without velocities (so speed and course come from the
// geodesic between epochs). Returns its size in bytes.
std::uint64_t write_solution_log(const fs::path& path, std::uint64_t epochs) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fputs("%  GPST          latitude(deg) longitude(deg)  height(m)   Q  ns   sdn(m)   sde(m)   sdu(m)  sdne(m)"
               "  sdeu(m)  sdun(m) age(s)  ratio\n", f);
    for (std::uint64_t i = 0; i < epochs; ++i) {
        const std::uint64_t seconds = 302400 * 1000ULL + i * 1000;  // from the middle of week 2137
        std::fprintf(f, "%llu %10.3f %15.9f %15.9f %10.4f %3d %3d %8.4f %8.4f %8.4f %8.4f %8.4f %8.4f %6.2f %6.1f\n",
                     static_cast<unsigned long long>(2137 + seconds / 604800000),
                     static_cast<double>(seconds % 604800000) / 1000, 40.0 + 1e-6 * static_cast<double>(i % 200000),
                     -105.0 + 1.3e-6 * static_cast<double>(i % 150000), 1578.7 + static_cast<double>(i % 50) * 0.01,
                     static_cast<int>(i % 6 + 1), 11, 0.0542, 0.2093, 0.1052, 0.0133, -0.0902, -0.0069, 1.0, 3.2);
    }
    const bool ok = std::fclose(f) == 0;
    return ok ? fs::file_size(path) : 0;
}

// Converts `log` into `kmz` in a child process; `adjust` changes the options.
ChildRun convert(const fs::path& log, const fs::path& kmz, zelvo::InputFormat format,
                 void (*adjust)(zelvo::ConversionOptions&) = nullptr) {
    return in_child([&] {
        zelvo::ConversionOptions o;
        if (adjust) adjust(o);
        o.track_color = zelvo::kRed;
        o.full_track_color = zelvo::kGreen;
        o.input_format = format;
        o.input_path = log.string();
        o.input_name = log.filename().string();
        o.output_path = kmz.string();
        o.output_name = kmz.filename().string();
        zelvo::HeadlessHost host;
        try {
            return zelvo::conversion_run(o, host).outcome == zelvo::RunOutcome::Finished;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "conversion failed: %s\n", e.what());
            return false;
        }
    });
}

int main(int argc, char** argv) {
    std::uint64_t epochs = 100000;
    fs::path dir;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--epochs") && i + 1 < argc) epochs = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) dir = argv[++i];
        else {
            std::fprintf(stderr, "usage: zelvo_bench [--epochs N] [--dir DIR]\n");
            return 2;
        }
    }
    if (dir.empty()) dir = fs::temp_directory_path() / ("zelvo-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path log = dir / "bench.nmea";
    const std::uint64_t log_bytes = zelvo::bench::write_nmea_log(log.string(), epochs);

    const fs::path kmz = dir / "bench.kmz";
    ChildRun run = convert(log, kmz, zelvo::InputFormat::Nmea);
    if (!run.ok) return 1;

    std::vector<unsigned char> kml =
        fs::exists(dir / "bench.kml") ? read_all(dir / "bench.kml") : first_member(kmz);
    const double mb = static_cast<double>(log_bytes) / 1e6;
    std::printf("epochs                 %llu\n", static_cast<unsigned long long>(epochs));
    std::printf("NMEA log               %.1f MB\n", mb);
    std::printf("KML document           %.1f MB\n", static_cast<double>(kml.size()) / 1e6);
    std::printf("log -> KMZ             %.3f s\n", run.seconds);
    std::printf("throughput             %.1f MB/s of input, %.0f epochs/s\n", mb / run.seconds,
                static_cast<double>(epochs) / run.seconds);
    std::printf("peak memory            %.1f MiB\n", static_cast<double>(run.peak_kib) / 1024.0);
    const double zlib_seconds = zlib_alone_seconds(kml);
    std::printf("zlib alone (level 6)   %.3f s on one core\n", zlib_seconds);
    std::printf("ratio to zlib alone    %.2f\n", run.seconds / zlib_seconds);

    const double summary = summary_seconds(log);
    std::printf("session summary        %.3f s, %.1f %% of log -> KMZ\n", summary, 100 * summary / run.seconds);

    if (std::system("command -v gpsbabel >/dev/null 2>&1") == 0) {
        std::string cmd = "TZ=UTC gpsbabel -i nmea -f '" + log.string() + "' -o kml -F '" + (dir / "gpsbabel.kml").string() + "'";
        auto start = Clock::now();
        int rc = std::system(cmd.c_str());
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (rc == 0) {
            std::printf("gpsbabel               %.3f s\n", seconds);
            std::printf("ratio to gpsbabel      %.2f\n", run.seconds / seconds);
        }
    }

    // A long log drawn with a placemark per 10 s of log time within each
    // class run, against every placemark; both with the all-epochs track.
    {
        const fs::path full_kmz = dir / "bench-full.kmz", thin_kmz = dir / "bench-thin.kmz";
        ChildRun full = convert(log, full_kmz, zelvo::InputFormat::Nmea, [](zelvo::ConversionOptions& o) {
            o.use_all_waypoints = true;
        });
        ChildRun thin = convert(log, thin_kmz, zelvo::InputFormat::Nmea, [](zelvo::ConversionOptions& o) {
            o.use_all_waypoints = true;
            o.placemark_interval_ms = 10'000;
        });
        if (!full.ok || !thin.ok) return 1;
        const DocumentSummary a = summarise(full_kmz), b = summarise(thin_kmz);
        // The generated log runs at 10 Hz: its length in log time is epochs / 10 s.
        const std::uint64_t bound = epochs / 100 + a.class_runs.size() + 1;
        std::printf("--placemark-interval 10, with the all-epochs track:\n");
        std::printf("  placemarks           %llu of %llu (bound %llu = %llu + %zu class runs + 1): %s\n",
                    static_cast<unsigned long long>(b.placemarks), static_cast<unsigned long long>(a.placemarks),
                    static_cast<unsigned long long>(bound), static_cast<unsigned long long>(epochs / 100),
                    a.class_runs.size(), b.placemarks <= bound ? "holds" : "EXCEEDED");
        std::printf("  class runs           %s\n", a.ok && b.ok && a.class_runs == b.class_runs ? "same sequence" : "DIFFER");
        std::printf("  both tracks          %s (%llu bytes after the folder)\n",
                    a.tail_bytes == b.tail_bytes && a.tail_crc == b.tail_crc ? "identical" : "DIFFER",
                    static_cast<unsigned long long>(a.tail_bytes));
        std::printf("  log -> KMZ           %.3f s without, %.3f s with (ratio %.2f)\n", full.seconds, thin.seconds,
                    thin.seconds / full.seconds);
        std::printf("  archive              %.1f MB without, %.1f MB with\n",
                    static_cast<double>(fs::file_size(full_kmz)) / 1e6, static_cast<double>(fs::file_size(thin_kmz)) / 1e6);
        fs::remove(full_kmz);
        fs::remove(thin_kmz);
    }

    // The children below must not inherit the document held here, or their
    // peak memory would count it.
    std::vector<unsigned char>().swap(kml);

    // The companion files: a 500,000-epoch log with and without all three,
    // the better of two runs each. The bound is judged on the processor time
    // (user and system), which other work on a shared machine does not
    // inflate; the wall time, with the file system's flushes, is shown too.
    {
        constexpr std::uint64_t kCompanionEpochs = 500000;
        const fs::path long_log = dir / "companions.nmea";
        zelvo::bench::write_nmea_log(long_log.string(), kCompanionEpochs);
        static fs::path companion_dir;
        companion_dir = dir;
        auto best_of_two = [&](void (*adjust)(zelvo::ConversionOptions&)) {
            ChildRun best;
            for (int i = 0; i < 2; ++i) {
                ChildRun r = convert(long_log, dir / "companions.kmz", zelvo::InputFormat::Nmea, adjust);
                if (!r.ok) return r;
                if (i == 0 || r.cpu_seconds < best.cpu_seconds) best = r;
            }
            return best;
        };
        ChildRun without = best_of_two(nullptr);
        ChildRun with = best_of_two([](zelvo::ConversionOptions& o) {
            o.companions = {{zelvo::CompanionKind::Gpx, (companion_dir / "c.gpx").string()},
                            {zelvo::CompanionKind::GeoJson, (companion_dir / "c.geojson").string()},
                            {zelvo::CompanionKind::Csv, (companion_dir / "c.csv").string()}};
        });
        if (!without.ok || !with.ok) return 1;
        const double ratio = with.cpu_seconds / without.cpu_seconds;
        std::printf("GPX, GeoJSON and CSV beside the archive, %llu epochs:\n",
                    static_cast<unsigned long long>(kCompanionEpochs));
        std::printf("  processor time       %.3f s without, %.3f s with (ratio %.2f, at most 1.30: %s)\n",
                    without.cpu_seconds, with.cpu_seconds, ratio, ratio <= 1.3 ? "holds" : "EXCEEDED");
        std::printf("  wall time            %.3f s without, %.3f s with (ratio %.2f)\n", without.seconds,
                    with.seconds, with.seconds / without.seconds);
        std::printf("  files                GPX %.1f MB, GeoJSON %.1f MB, CSV %.1f MB\n",
                    static_cast<double>(fs::file_size(dir / "c.gpx")) / 1e6,
                    static_cast<double>(fs::file_size(dir / "c.geojson")) / 1e6,
                    static_cast<double>(fs::file_size(dir / "c.csv")) / 1e6);
        std::printf("  peak memory          %.1f MiB without, %.1f MiB with\n",
                    static_cast<double>(without.peak_kib) / 1024.0, static_cast<double>(with.peak_kib) / 1024.0);
        for (const char* name : {"companions.nmea", "companions.kmz", "c.gpx", "c.geojson", "c.csv"})
            fs::remove(dir / name);
    }

    // Two logs of half a million epochs each merged into one archive, against
    // one of them alone: what the comparison keeps per epoch of the logs.
    {
        constexpr std::uint64_t kMergeEpochs = 500000;
        const fs::path merge_log = dir / "merge.nmea";
        zelvo::bench::write_nmea_log(merge_log.string(), kMergeEpochs);
        ChildRun alone = convert(merge_log, dir / "merge-alone.kmz", zelvo::InputFormat::Nmea);
        ChildRun merged = in_child([&] {
            std::vector<zelvo::ConversionOptions> logs(2);
            for (zelvo::ConversionOptions& o : logs) {
                o.input_format = zelvo::InputFormat::Nmea;
                o.input_path = merge_log.string();
                o.input_name = "merge.nmea";
                o.output_path = (dir / "merged.kmz").string();
                o.output_name = "merged.kmz";
            }
            zelvo::HeadlessHost host;
            return zelvo::merge_run(logs, host).outcome == zelvo::RunOutcome::Finished;
        });
        if (!alone.ok || !merged.ok) return 1;
        const double per_epoch =
            static_cast<double>(merged.peak_kib - alone.peak_kib) * 1024.0 / static_cast<double>(2 * kMergeEpochs);
        std::printf("--merge, two logs of %llu epochs:\n", static_cast<unsigned long long>(kMergeEpochs));
        std::printf("  peak memory          %.1f MiB one log alone, %.1f MiB both merged\n",
                    static_cast<double>(alone.peak_kib) / 1024.0, static_cast<double>(merged.peak_kib) / 1024.0);
        std::printf("  growth               %.1f bytes per epoch of the logs (at most 32: %s)\n", per_epoch,
                    per_epoch <= 32 ? "holds" : "EXCEEDED");
        std::printf("  log -> KMZ           %.3f s alone, %.3f s merged\n", alone.seconds, merged.seconds);
        for (const char* name : {"merge.nmea", "merge-alone.kmz", "merged.kmz"}) fs::remove(dir / name);
    }

    // The binary protocol, the same number of epochs.
    const fs::path tolv = dir / "bench.tolv";
    const std::uint64_t tolv_bytes = zelvo::bench::write_tolv_log(tolv.string(), epochs);
    ChildRun binary = convert(tolv, dir / "bench-tolv.kmz", zelvo::InputFormat::Tolv);
    if (!binary.ok) return 1;
    const double tolv_mb = static_cast<double>(tolv_bytes) / 1e6;
    std::printf("binary log             %.1f MB\n", tolv_mb);
    std::printf("binary log -> KMZ      %.3f s\n", binary.seconds);
    std::printf("binary throughput      %.1f MB/s of input, %.0f epochs/s\n", tolv_mb / binary.seconds,
                static_cast<double>(epochs) / binary.seconds);
    std::printf("binary peak memory     %.1f MiB\n", static_cast<double>(binary.peak_kib) / 1024.0);

    // A solution file of half a million epochs, against the NMEA log per epoch.
    constexpr std::uint64_t kSolutionEpochs = 500'000;
    const fs::path pos = dir / "bench.pos";
    const std::uint64_t pos_bytes = write_solution_log(pos, kSolutionEpochs);
    ChildRun solution = convert(pos, dir / "bench-pos.kmz", zelvo::InputFormat::Solution);
    if (!solution.ok || pos_bytes == 0) return 1;
    const double nmea_us = run.seconds * 1e6 / static_cast<double>(epochs);
    const double pos_us = solution.seconds * 1e6 / static_cast<double>(kSolutionEpochs);
    std::printf("solution file          %llu epochs, %.1f MB\n", static_cast<unsigned long long>(kSolutionEpochs),
                static_cast<double>(pos_bytes) / 1e6);
    std::printf("solution file -> KMZ   %.3f s, %.2f us per epoch (NMEA %.2f us: %s)\n", solution.seconds, pos_us,
                nmea_us, pos_us <= nmea_us ? "no slower" : "SLOWER");
    std::printf("solution peak memory   %.1f MiB (NMEA %.1f MiB)\n", static_cast<double>(solution.peak_kib) / 1024.0,
                static_cast<double>(run.peak_kib) / 1024.0);
    fs::remove_all(dir);
    return 0;
}
