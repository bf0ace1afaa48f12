// Writes the binary fuzz target's seed logs into a folder, one small log per
// message kind and form: make_tolv_seeds <folder>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tools/tolv_builder.h"

namespace {

using namespace zelvo::tolv;

Pvt moving(int epoch) {
    Pvt pvt;
    pvt.latitude_rad = 0.8526 + epoch * 1e-6;
    pvt.longitude_rad = 0.0410 + epoch * 1e-6;
    pvt.height_m = 35.5;
    pvt.rms_m = 1.75f;
    pvt.time_of_week_ms = 131'696'789.0 + epoch * 1000.0;
    pvt.week = 1000;
    pvt.north_mps = 3.0;
    pvt.east_mps = 4.0;
    pvt.fix_flags = 0x09;
    return pvt;
}

// Two epochs of position messages, each followed by `after`.
Bytes two_epochs(const Bytes& after, bool long_form = false, Stuffing stuffing = Stuffing::Doubled) {
    Bytes log;
    for (int epoch = 0; epoch < 2; ++epoch) {
        Pvt pvt = moving(epoch);
        pvt.long_form = long_form;
        append(log, frame(0x88, pvt_payload(pvt), stuffing));
        append(log, after);
    }
    return log;
}

Bytes sats_in_view(bool long_tail) {
    const std::vector<SatInView> sats = {
        {1, 16, 0, 45, 0x110, 40}, {2, 3, -7, 10, 359, 30}, {4, 120, 0, 30, 90, 35},
        {4, 151, 0, 5, 180, 20},   {3, 9, 0, 60, 270, 25},  {2, 24, 6, 80, 10, 45},
    };
    return frame(0x52, satellites_payload(sats, long_tail));
}

struct Seed {
    std::string name;
    Bytes log;
};

std::vector<Seed> seeds() {
    std::vector<Seed> out;
    out.push_back({"pvt-short", two_epochs({})});
    out.push_back({"pvt-long", two_epochs({}, true)});
    out.push_back({"pvt-ff-shorthand", two_epochs({}, false, Stuffing::FfShorthand)});
    out.push_back({"satellites", two_epochs(sats_in_view(false))});
    out.push_back({"satellites-long-tail", two_epochs(sats_in_view(true))});
    out.push_back({"dop-short", two_epochs(frame(0x60, dop_payload(1.25f)))});
    out.push_back({"dop-long", two_epochs(frame(0x60, dop_payload(0.75f, true)))});
    out.push_back({"used-short", two_epochs(frame(0x93, used_payload(1u << 15 | 1u << 4, 1u << 1, 1u)))});
    out.push_back({"used-long", two_epochs(frame(0x93, used_payload(1u << 16, 0, 1u << 31, true)), true)});
    out.push_back({"unknown-id", two_epochs(frame(0x41, Bytes{0x10, 0x03, 0xFF, 0x00}))});

    Bytes all;
    append(all, sats_in_view(false));
    append(all, frame(0x60, dop_payload(0.9f)));
    append(all, frame(0x93, used_payload(1u << 15, 1u << 2, 0)));
    out.push_back({"every-message", two_epochs(all)});

    // Fix flags, standing still, week rollover and NaN velocities in one log.
    Bytes odd;
    const std::uint8_t flags[] = {0x00, 0x01, 0x03, 0x0B, 0x11, 0x19, 0x1B, 0xFF};
    for (int i = 0; i < 8; ++i) {
        Pvt pvt = moving(i);
        pvt.fix_flags = flags[i];
        if (i == 1) pvt.north_mps = pvt.east_mps = 0;
        if (i == 2) pvt.week = -5;
        if (i == 3) pvt.time_of_week_ms = 604'799'999.5;
        if (i == 4) pvt.north_mps = std::numeric_limits<double>::quiet_NaN();
        if (i == 5) pvt.height_m = std::numeric_limits<double>::infinity();
        if (i == 6) pvt.latitude_rad = 4.0;  // off the globe
        append(odd, frame(0x88, pvt_payload(pvt)));
    }
    out.push_back({"pvt-odd-values", odd});

    // A frame cut by a DLE that starts nothing, and a log that stops inside one.
    Bytes broken = two_epochs(Bytes{0x10, 0x52, 0x01, 0x02});
    append(broken, Bytes{0x10, 0x88, 0x01, 0x02, 0x10, 0x10, 0x03});
    out.push_back({"broken-frames", broken});
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_tolv_seeds <folder>\n", stderr);
        return 2;
    }
    for (const Seed& seed : seeds()) {
        const std::string path = std::string(argv[1]) + "/" + seed.name + ".tolv";
        std::FILE* out = std::fopen(path.c_str(), "wb");
        const bool written = out && std::fwrite(seed.log.data(), 1, seed.log.size(), out) == seed.log.size();
        if (!out || std::fclose(out) != 0 || !written) {
            std::perror(path.c_str());
            return 1;
        }
    }
    return 0;
}
