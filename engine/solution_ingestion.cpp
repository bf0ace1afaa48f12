#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "engine/ingestion.h"
#include "solution/solution_decoder.h"

namespace zelvo {

namespace {

// A line longer than this is no epoch; its rest is skipped with it.
constexpr std::size_t kMaxLineLength = 1024;
// Closer than this, the step between two epochs is noise, not a direction.
constexpr double kMinimumCourseStepM = 0.5;

// Speed and course of a file without velocities: the step from the epoch
// before, over the time between them.
class DerivedMotion {
public:
    void apply(waypoints& r, std::int64_t utc_ms) {
        double metres = 0;
        if (has_previous_) {
            double azimuth = 0, unused = 0;
            GeographicLib::Geodesic::WGS84().Inverse(lat_, lon_, r.latitude, r.longitude, metres, azimuth, unused);
            if (metres >= kMinimumCourseStepM) course_ = azimuth < 0 ? azimuth + 360 : azimuth;
        }
        const double seconds = static_cast<double>(utc_ms - ms_) / 1000;
        r.speed_kmh = has_previous_ && seconds > 0 ? metres / seconds * 3.6 : 0;
        r.course = course_;
        has_previous_ = true;
        lat_ = r.latitude;
        lon_ = r.longitude;
        ms_ = utc_ms;
    }

private:
    bool has_previous_ = false;
    double lat_ = 0, lon_ = 0, course_ = 0;
    std::int64_t ms_ = 0;
};

class SolutionReader {
public:
    explicit SolutionReader(EpochStream& epochs) : epochs_(epochs) {}

    void line(std::string_view text) {
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (text.find_first_not_of(" \t") == std::string_view::npos) return;
        if (text[0] == '%') {
            if (read_solution_header(text, header_) && header_.layout == SolutionLayout::Baseline)
                throw std::runtime_error(
                    "a baseline solution (e-baseline) gives positions relative to a base station, not on the "
                    "globe; write the solution as latitude/longitude or ECEF");
            return;
        }
        const std::optional<std::int64_t> utc = decode_solution_line(text, header_, scratch_);
        if (!utc) {
            scratch_.clear();
            ++skipped_;
            return;
        }
        if (scratch_.motion_derived) motion_.apply(scratch_, *utc);
        epochs_.append(scratch_);
    }

    std::uint64_t skipped() const { return skipped_; }

private:
    EpochStream& epochs_;
    SolutionHeader header_;
    waypoints scratch_;
    DerivedMotion motion_;
    std::uint64_t skipped_ = 0;
};

}  // namespace

IngestReport ingest_solution(InputFile& in, std::uint64_t progress_step, RunHost& host, EpochStream& epochs) {
    SolutionReader reader(epochs);
    std::string pending;  // a line begun in an earlier chunk
    bool overlong = false;
    TextChunks chunks(in, progress_step, host);
    const unsigned char* chunk = nullptr;
    std::size_t n = 0;
    while (chunks.next(chunk, n)) {

        const char* text = reinterpret_cast<const char*>(chunk);
        std::size_t i = 0;
        while (i < n) {
            const void* end = std::memchr(text + i, '\n', n - i);
            const std::size_t stop = end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : n;
            if (!overlong) pending.append(text + i, stop - i);
            if (pending.size() > kMaxLineLength) {
                overlong = true;
                pending.clear();
            }
            if (!end) break;
            if (overlong) reader.line("?");  // counted as a bad line
            else reader.line(pending);
            pending.clear();
            overlong = false;
            i = stop + 1;
        }
    }
    if (overlong) reader.line("?");
    else if (!pending.empty()) reader.line(pending);
    return {reader.skipped()};
}

std::size_t count_solution_lines(std::span<const unsigned char> head) {
    std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    SolutionHeader header;
    waypoints scratch;
    std::size_t lines = 0;
    // The last line may be cut by the end of the head: only whole lines count.
    while (true) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) break;
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line[0] == '%') {
            read_solution_header(line, header);
            continue;
        }
        // A baseline solution is a solution file all the same: reading it
        // says why it cannot be drawn.
        if (header.layout == SolutionLayout::Baseline && line.find_first_not_of(" \t") != std::string_view::npos)
            ++lines;
        else if (decode_solution_line(line, header, scratch)) ++lines;
        scratch.clear();
    }
    return lines;
}

}  // namespace zelvo
