#include "nmea_log_generator.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <stdexcept>
#include <string>

namespace zelvo::bench {

namespace {

std::string sentence(const std::string& body) {
    unsigned char sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

std::string coordinate(double degrees, int degree_digits, char positive, char negative) {
    char hemisphere = degrees < 0 ? negative : positive;
    degrees = std::fabs(degrees);
    int whole = static_cast<int>(degrees);
    double minutes = (degrees - whole) * 60.0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%0*d%07.4f,%c", degree_digits, whole, minutes, hemisphere);
    return buf;
}

}  // namespace

std::uint64_t write_nmea_log(const std::string& path, std::uint64_t epochs) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    // Fix quality, RMC status and mode letter of each class in turn.
    struct Fix { int quality; char status; char mode; };
    static constexpr Fix kFixes[] = {{1, 'A', 'A'}, {2, 'A', 'D'}, {4, 'A', 'P'},
                                     {5, 'A', 'F'}, {6, 'A', 'E'}, {0, 'V', 'N'}};
    // Classes hold for runs of very different lengths (5 s to half an hour
    // at 10 Hz), as a receiver's fix does through a day.
    static constexpr std::uint64_t kRunEpochs[] = {50, 1200, 300, 18000, 90, 2400, 600, 6000, 150};
    std::uint64_t run = 0, run_left = kRunEpochs[0];
    std::uint64_t bytes = 0;
    std::string out;
    for (std::uint64_t i = 0; i < epochs; ++i) {
        if (run_left == 0) run_left = kRunEpochs[++run % std::size(kRunEpochs)];
        --run_left;
        const std::uint64_t tenths = i % 864000;
        const int day = static_cast<int>(i / 864000) % 28 + 1;
        char time[16];
        std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(tenths / 36000),
                      static_cast<int>(tenths / 600 % 60), static_cast<int>(tenths / 10 % 60),
                      static_cast<int>(tenths % 10) * 10);
        const Fix& fix = kFixes[run % 6];
        const double t = static_cast<double>(i) * 0.1;
        const double lat = 48.1173 + 0.001 * std::sin(t / 300.0) + 1e-6 * t;
        const double lon = 11.5167 + 0.001 * std::cos(t / 300.0) - 1e-6 * t;
        const double course = std::fmod(t * 3.0, 360.0);
        char body[160];
        std::snprintf(body, sizeof body, "GPGGA,%s,%s,%s,%d,%02d,%.1f,%.1f,M,46.9,M,%s,%s", time,
                      coordinate(lat, 2, 'N', 'S').c_str(), coordinate(lon, 3, 'E', 'W').c_str(), fix.quality,
                      12, 0.8 + (i % 7) * 0.1, 545.4 + std::sin(t) * 3.0, fix.quality == 2 ? "1.2" : "",
                      fix.quality == 2 ? "0031" : "");
        out += sentence(body);
        std::snprintf(body, sizeof body, "GPRMC,%s,%c,%s,%s,%.2f,%.2f,%02d0726,,,%c", time, fix.status,
                      coordinate(lat, 2, 'N', 'S').c_str(), coordinate(lon, 3, 'E', 'W').c_str(),
                      12.5 + std::sin(t / 10.0), course, day, fix.mode);
        out += sentence(body);
        out += sentence("GPGSA,A,3,02,05,07,09,12,15,18,21,24,27,30,66,1.8,0.9,1.5");
        static const int kIds[12] = {2, 5, 7, 9, 12, 15, 18, 21, 24, 27, 30, 66};
        for (int g = 0; g < 3; ++g) {
            std::string gsv = "GPGSV,3," + std::to_string(g + 1) + ",12";
            for (int k = 0; k < 4; ++k) {
                int id = kIds[g * 4 + k];
                char sat[32];
                std::snprintf(sat, sizeof sat, ",%02d,%02d,%03d,%02d", id, (id * 7 + static_cast<int>(i / 600)) % 90,
                              (id * 29) % 360, 20 + (id + static_cast<int>(i)) % 30);
                gsv += sat;
            }
            out += sentence(gsv);
        }
        if (out.size() > (1 << 20)) {
            bytes += std::fwrite(out.data(), 1, out.size(), f);
            out.clear();
        }
    }
    bytes += std::fwrite(out.data(), 1, out.size(), f);
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
    return bytes;
}

}  // namespace zelvo::bench
