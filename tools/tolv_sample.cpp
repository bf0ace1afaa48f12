// The sample log: a short drive that crosses from GPS week 1022 into 1023.
#include <array>
#include <cmath>
#include <numbers>

#include "tools/tolv_builder.h"

namespace zelvo::tolv {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
constexpr int kEpochs = 40;
// Saturday 23:59:40 of week 1022: the week turns over after 20 epochs.
constexpr double kFirstTimeOfWeek = 604'780'000.0;
constexpr double kMsPerWeek = 604'800'000.0;

constexpr std::array<std::uint8_t, 8> kFixFlags = {0x01, 0x09, 0x19, 0x03, 0x00, 0x1B, 0x11, 0x0B};

void add_garbage(Bytes& log, int epoch) {
    // Bytes between frames, among them lone ETX and 0xFF.
    const std::array<std::uint8_t, 6> noise = {0x03, 0xFF, 0x41, static_cast<std::uint8_t>(epoch), 0x00, 0x03};
    log.insert(log.end(), noise.begin(), noise.begin() + 1 + epoch % 6);
}

}  // namespace

Bytes make_sample_log() {
    Bytes log{'T', 'O', 'L', 'V', ' ', 's', 'a', 'm', 'p', 'l', 'e', '\n'};
    for (int epoch = 0; epoch < kEpochs; ++epoch) {
        Pvt pvt;
        // Heading north-east at about 5 m/s from 48.85 N, 2.35 E.
        pvt.latitude_rad = (48.85 + epoch * 3.2e-5) * kRadiansPerDegree;
        pvt.longitude_rad = (2.35 + epoch * 4.9e-5) * kRadiansPerDegree;
        pvt.height_m = 35.25 + epoch * 0.125;
        pvt.rms_m = 1.5f + static_cast<float>(epoch % 4) * 0.25f;
        double tow = kFirstTimeOfWeek + epoch * 1000.0 + 0.75;
        pvt.week = 1022;
        if (tow >= kMsPerWeek) {
            tow -= kMsPerWeek;
            pvt.week = 1023;
        }
        pvt.time_of_week_ms = tow;
        pvt.north_mps = 3.5 + (epoch % 5) * 0.125;
        pvt.east_mps = epoch % 10 == 9 ? -2.0 : 3.5;
        if (epoch == 12) pvt.north_mps = pvt.east_mps = 0;  // standing still
        pvt.fix_flags = kFixFlags[static_cast<std::size_t>(epoch) % kFixFlags.size()];
        pvt.long_form = epoch % 2 == 1;
        pvt.unread_fill = 0x10;
        append(log, frame(0x88, pvt_payload(pvt), epoch % 3 == 0 ? Stuffing::FfShorthand : Stuffing::Doubled));

        // Satellites in view: GPS PRN 16 (a stuffed byte), GLONASS with
        // negative channels, SBAS 120 and 151; one entry of an unknown system.
        std::vector<SatInView> sats;
        const int count = epoch % 13;
        for (int i = 0; i < count; ++i) {
            SatInView s;
            switch (i % 4) {
            case 0: s.system = 1; s.number = static_cast<std::uint8_t>(16 + i); break;
            case 1: s.system = 2; s.number = static_cast<std::uint8_t>(1 + i); break;
            case 2: s.system = 4; s.number = static_cast<std::uint8_t>(i % 8 == 2 ? 120 : 151); break;
            default: s.system = i == 11 ? 3 : 1; s.number = static_cast<std::uint8_t>(2 + i); break;
            }
            s.channel = static_cast<std::int8_t>(s.system == 2 ? -7 + i : 0);
            s.elevation = static_cast<std::uint8_t>(10 + 6 * i);
            s.azimuth = static_cast<std::uint16_t>((0x10 + 29 * i + 7 * epoch) % 360);
            s.snr = static_cast<std::uint8_t>(30 + i);
            sats.push_back(s);
        }
        append(log, frame(0x52, satellites_payload(sats, epoch % 2 == 0)));

        add_garbage(log, epoch);
        append(log, frame(0x60, dop_payload(0.8f + static_cast<float>(epoch % 7) * 0.1f, epoch % 2 == 0)));

        // A message of an id the converter does not read.
        append(log, frame(0x41, Bytes{0x10, 0x03, 0xFF, 0x00}));

        const std::uint32_t gps = (1u << 15) | (1u << 16) | (epoch % 3 == 0 ? 1u << 4 : 0u);
        append(log, frame(0x93, used_payload(gps, 1u << 1, epoch % 4 == 0 ? 1u : 0u, epoch % 2 == 1)));

        if (epoch % 9 == 4) {
            // A broken frame: its DLE meets a byte that is neither DLE, ETX
            // nor 0xFF, so the next frame takes over.
            append(log, Bytes{0x10, 0x52, 0x01, 0x02});
        }
    }
    // The recording stops inside a frame.
    append(log, Bytes{0x10, 0x88, 0x01, 0x02, 0x10, 0x10, 0x03});
    return log;
}

}  // namespace zelvo::tolv
