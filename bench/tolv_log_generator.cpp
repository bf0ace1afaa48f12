#include "tolv_log_generator.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "tools/tolv_builder.h"

namespace zelvo::bench {

std::uint64_t write_tolv_log(const std::string& path, std::uint64_t epochs) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    constexpr double kPi = 3.14159265358979323846;
    std::uint64_t bytes = 0;
    tolv::Bytes out;
    for (std::uint64_t i = 0; i < epochs; ++i) {
        const double t = static_cast<double>(i) * 0.1;
        tolv::Pvt pvt;
        pvt.latitude_rad = (48.1173 + 0.001 * std::sin(t / 300.0)) * kPi / 180.0;
        pvt.longitude_rad = (11.5167 + 0.001 * std::cos(t / 300.0)) * kPi / 180.0;
        pvt.height_m = 545.4 + std::sin(t);
        pvt.rms_m = 0.8f;
        pvt.time_of_week_ms = 100000000.0 + static_cast<double>(i) * 100.0;
        pvt.week = 2300 - 2048;
        pvt.north_mps = 3.0 * std::cos(t / 30.0);
        pvt.east_mps = 3.0 * std::sin(t / 30.0);
        pvt.fix_flags = static_cast<std::uint8_t>((i / 50) % 4 == 3 ? 0x00 : 0x09);
        pvt.long_form = i % 2 == 0;
        tolv::append(out, tolv::frame(0x88, tolv::pvt_payload(pvt)));
        tolv::SatInView sats[12];
        for (int k = 0; k < 12; ++k) {
            sats[k].system = k < 8 ? 1 : 2;
            sats[k].number = static_cast<std::uint8_t>(k < 8 ? 2 + 3 * k : k - 6);
            sats[k].channel = static_cast<std::int8_t>(k < 8 ? k : k - 14);
            sats[k].elevation = static_cast<std::uint8_t>((k * 7 + i / 600) % 90);
            sats[k].azimuth = static_cast<std::uint16_t>((k * 29) % 360);
            sats[k].snr = static_cast<std::uint8_t>(20 + (k + i) % 30);
        }
        tolv::append(out, tolv::frame(0x52, tolv::satellites_payload(sats)));
        tolv::append(out, tolv::frame(0x60, tolv::dop_payload(0.9f)));
        tolv::append(out, tolv::frame(0x93, tolv::used_payload(0x00249249u, 0x3Fu, 0)));
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
