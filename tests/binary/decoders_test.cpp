#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "binary/binary_decoders.h"
#include "tests/binary/binary_test_support.h"

namespace zelvo {
namespace {

using test::assemble;
using test::expect_same_record;
using tolv::Bytes;

constexpr double kPi = std::numbers::pi;

tolv::Pvt sample_pvt() {
    tolv::Pvt pvt;
    pvt.latitude_rad = 0.8526;
    pvt.longitude_rad = -0.0410;
    pvt.height_m = 35.5;
    pvt.rms_m = 1.75f;
    pvt.time_of_week_ms = 131'696'789.0;
    pvt.week = 1000;
    pvt.north_mps = 3.0;
    pvt.east_mps = 4.0;
    pvt.fix_flags = 0x09;
    pvt.unread_fill = 0x10;  // stuffed bytes in the fields that are not read
    return pvt;
}

TEST(DecodePvt, FillsTheWholeRecordInBothForms) {
    waypoints expected;
    expected.time = "12:34:56.789";
    expected.latitude = 0.8526 * 180.0 / kPi;
    expected.longitude = -0.0410 * 180.0 / kPi;
    expected.altitude = 35.5;
    expected.date = "2018-10-22";
    expected.status = 'A';
    expected.rms = 1.75;
    expected.fix_text = "3D,DIFF";
    expected.speed_kmh = 18.0;
    expected.course = std::atan2(4.0, 3.0) * 180.0 / kPi;
    expected.ms_of_day = 45'296'789;
    expected.has_latitude = expected.has_longitude = true;

    for (bool long_form : {false, true}) {
        tolv::Pvt pvt = sample_pvt();
        pvt.long_form = long_form;
        const BinaryFrame frame = assemble(kIdPvt, tolv::pvt_payload(pvt));
        EXPECT_EQ(frame.length, long_form ? kPvtLongLength : kPvtShortLength);
        waypoints record;
        decode_pvt(frame, record);
        SCOPED_TRACE(long_form ? "73-byte payload" : "69-byte payload");
        expect_same_record(expected, record);
    }
}

TEST(DecodePvt, FixFlagsGiveStatusAndText) {
    struct FixCase {
        std::uint8_t flags;
        char status;
        const char* text;
    };
    const FixCase cases[] = {
        {0x00, 'V', "No Fix"},  {0x02, 'V', "No Fix"},       {0x1A, 'V', "No Fix"},
        {0x04, 'V', "No Fix"},  {0xFE, 'V', "No Fix"},       {0x01, 'A', "3D"},
        {0x05, 'A', "3D"},      {0xE5, 'A', "3D"},           {0x11, 'A', "3D,RAIM"},
        {0x09, 'A', "3D,DIFF"}, {0x19, 'A', "3D,DIFF,RAIM"}, {0x03, 'A', "2D"},
        {0x13, 'A', "2D,RAIM"}, {0x0B, 'A', "2D,DIFF"},      {0x1B, 'A', "2D,DIFF,RAIM"},
        {0xFF, 'A', "2D,DIFF,RAIM"},
    };
    for (const FixCase& c : cases) {
        tolv::Pvt pvt = sample_pvt();
        pvt.fix_flags = c.flags;
        waypoints record;
        decode_pvt(assemble(kIdPvt, tolv::pvt_payload(pvt)), record);
        EXPECT_EQ(record.status, c.status) << "flags " << int{c.flags};
        EXPECT_EQ(record.fix_text, c.text) << "flags " << int{c.flags};
    }
}

TEST(DecodePvt, SpeedAndCourseFromTheVelocities) {
    struct MotionCase {
        double north, east, speed_kmh, course;
    };
    const MotionCase cases[] = {
        {0, 0, 0, 0},
        {-0.0, -0.0, 0, 0},          // standing still, whatever the zeros' signs
        {0, -1, 3.6, 270},
        {-1, 0, 3.6, 180},
        {1, 0, 3.6, 0},
        {0, 1, 3.6, 90},
        {1, -0.0, 3.6, -0.0},        // -0.0 is not below zero and stays
        {-1, -0.0, 3.6, 180},        // atan2(-0, -1) is -pi
        {3, 4, 18, std::atan2(4.0, 3.0) * 180.0 / kPi},
        {-3, -4, 18, std::atan2(-4.0, -3.0) * 180.0 / kPi + 360},
    };
    for (const MotionCase& c : cases) {
        tolv::Pvt pvt = sample_pvt();
        pvt.north_mps = c.north;
        pvt.east_mps = c.east;
        waypoints record;
        decode_pvt(assemble(kIdPvt, tolv::pvt_payload(pvt)), record);
        EXPECT_DOUBLE_EQ(record.speed_kmh, c.speed_kmh) << c.north << ' ' << c.east;
        EXPECT_EQ(record.course, c.course) << c.north << ' ' << c.east;
        EXPECT_EQ(std::signbit(record.course), std::signbit(c.course)) << c.north << ' ' << c.east;
    }
}

// A height or a course no reader could parse reads as 0; the rest as usual.
TEST(DecodePvt, UnparsableHeightAndCourseReadAsZero) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case { double height, north, east, altitude, course; };
    const Case cases[] = {
        {kNan, 1, 0, 0, 0},         {kInf, 0, 1, 0, 90},     {-kInf, 0, -1, 0, 270},
        {-kNan, 1, 0, 0, 0},        {1e300, 1, 0, 1e300, 0}, {-12.5, 1, 0, -12.5, 0},
        {35.5, kNan, 1, 35.5, 0},   {35.5, 1, kNan, 35.5, 0}, {35.5, kInf, kInf, 35.5, 45},
        {35.5, -kInf, 0, 35.5, 180},
    };
    for (const Case& c : cases) {
        tolv::Pvt pvt = sample_pvt();
        pvt.height_m = c.height;
        pvt.north_mps = c.north;
        pvt.east_mps = c.east;
        waypoints record;
        decode_pvt(assemble(kIdPvt, tolv::pvt_payload(pvt)), record);
        EXPECT_EQ(record.altitude, c.altitude) << c.height;
        EXPECT_EQ(record.course, c.course) << c.north << ' ' << c.east;
        EXPECT_EQ(record.fix_text, "3D,DIFF") << c.height;
        EXPECT_EQ(record.time, "12:34:56.789") << c.height;
    }
}

TEST(DecodePvt, NegativeAndRolloverWeeks) {
    struct WeekCase {
        std::int16_t week;
        const char* date;
    };
    for (const WeekCase& c : {WeekCase{1022, "2019-03-24"}, WeekCase{1023, "2038-11-14"}, WeekCase{-5, "1980-01-06"},
                              WeekCase{-32768, "1980-01-06"}}) {
        tolv::Pvt pvt = sample_pvt();
        pvt.week = c.week;
        pvt.time_of_week_ms = 5.5;
        waypoints record;
        decode_pvt(assemble(kIdPvt, tolv::pvt_payload(pvt)), record);
        EXPECT_EQ(record.date, c.date) << c.week;
        EXPECT_EQ(record.time, "00:00:00.005");
    }
}

tolv::SatInView sat(std::uint8_t system, std::uint8_t number, std::int8_t channel = 0) {
    return tolv::SatInView{system, number, channel, 45, 0x0110, 0x10};
}

TEST(DecodeSatellites, FillsTheTableByTheSatelliteId) {
    const std::vector<tolv::SatInView> sats = {
        sat(1, 16), sat(2, 5, -7), sat(4, 120), sat(4, 151), sat(1, 32),
        sat(1, 0), sat(1, 33), sat(4, 119), sat(4, 152), sat(2, 0), sat(2, 33), sat(3, 7),
    };
    waypoints record;
    record.sats[16].used = 1;  // a satellite message leaves `used` alone
    record.sats[2] = test::satellite('G', 2, 0, 10, 20, 30);
    decode_satellites(assemble(kIdSatellites, tolv::satellites_payload(sats)), record);

    waypoints expected;
    expected.sats[16] = test::satellite('G', 16, 0, 45, 0x0110, 0x10);
    expected.sats[16].used = 1;
    expected.sats[2] = test::satellite('G', 2, 0, 10, 20, 30);  // earlier entries stay
    expected.sats[69] = test::satellite('R', 5, -7, 45, 0x0110, 0x10);
    expected.sats[33] = test::satellite('S', 120, 0, 45, 0x0110, 0x10);
    expected.sats[64] = test::satellite('S', 151, 0, 45, 0x0110, 0x10);
    expected.sats[32] = test::satellite('G', 32, 0, 45, 0x0110, 0x10);
    expected.has_sats = 1;
    expect_same_record(expected, record);
}

TEST(DecodeSatellites, LaterEntryForTheSameSatelliteWins) {
    std::vector<tolv::SatInView> sats = {sat(1, 7), sat(1, 7)};
    sats[1].snr = 44;
    waypoints record;
    decode_satellites(assemble(kIdSatellites, tolv::satellites_payload(sats)), record);
    EXPECT_EQ(record.sats[7].snr, 44);
}

// The number of entries decoded from a message of `entries` entries with a
// trailing byte (or five), or from a raw frame length.
int decoded_from(const Bytes& payload) {
    waypoints record;
    decode_satellites(assemble(kIdSatellites, payload), record);
    int present = 0;
    for (const sat_entry& e : record.sats) present += e.present;
    return present;
}

Bytes gps_entries(int count, int tail) {
    tolv::PayloadWriter w;
    for (int i = 0; i < count; ++i) w.u8(1).u8(static_cast<std::uint8_t>(i % 32 + 1)).zeros(5);
    w.zeros(static_cast<std::size_t>(tail));
    return w.bytes();
}

TEST(DecodeSatellites, LengthRules) {
    struct LengthCase {
        const char* legend;
        int entries, tail, decoded;
    };
    const LengthCase cases[] = {
        {"length 88: 12 entries and 1 byte", 12, 1, 12},
        {"length 92: 12 entries and 5 bytes", 12, 5, 12},
        {"length 87", 12, 0, 0},
        {"length 4: no entry", 0, 1, 0},
        {"length 3: empty payload", 0, 0, 0},
        {"39 entries", 39, 1, 32},  // 32 distinct PRNs among them
        {"40 entries are ignored as a whole", 40, 1, 0},
        {"40 entries with the long tail", 40, 5, 0},
        {"neither rule holds", 3, 3, 0},
    };
    for (const LengthCase& c : cases) {
        EXPECT_EQ(decoded_from(gps_entries(c.entries, c.tail)), c.decoded) << c.legend;
    }
}

TEST(DecodeDop, HdopWidenedFromSingle) {
    for (bool long_form : {false, true}) {
        waypoints record;
        decode_dop(assemble(kIdDop, tolv::dop_payload(1.1f, long_form)), record);
        waypoints expected;
        expected.hdop = static_cast<double>(1.1f);
        expect_same_record(expected, record);
    }
}

Bytes used_frame_payload(std::uint32_t gps, std::uint32_t glonass, std::uint32_t sbas, bool long_form = false) {
    return tolv::used_payload(gps, glonass, sbas, long_form);
}

TEST(DecodeUsedSatellites, MasksMarkAllNinetySixEntries) {
    for (bool long_form : {false, true}) {
        waypoints record;
        record.sats[5].used = 1;  // cleared: every flag is written
        record.sats[1] = test::satellite('G', 1, 0, 10, 20, 30);
        decode_used_satellites(assemble(kIdUsedSatellites, used_frame_payload(3, 1, 0x80000001u, long_form)), record);

        waypoints expected;
        expected.sats[1] = test::satellite('G', 1, 0, 10, 20, 30);
        expected.sats[1].used = 1;
        expected.sats[2].used = 1;
        expected.sats[65].used = 1;
        expected.sats[33].used = 1;
        expected.sats[64].used = 1;
        expected.sats_used = 5;
        expect_same_record(expected, record);
    }
}

TEST(DecodeUsedSatellites, MalformedLengthsMarkTheCountUnknown) {
    // Lengths 21, 3 and 18 fit neither rule.
    for (std::size_t payload_size : {18u, 0u, 15u}) {
        Bytes payload(payload_size, 0xFF);
        waypoints record;
        record.sats[3].used = 1;
        decode_used_satellites(assemble(kIdUsedSatellites, payload), record);
        waypoints expected;
        expected.sats[3].used = 1;
        expected.sats_used = -1;
        SCOPED_TRACE(payload_size + 3);
        expect_same_record(expected, record);
    }
}

TEST(DecodeUsedSatellites, ShortMessagesReadTheFramingAsMasks) {
    // Lengths below 20 pass by the sign of the remainder. Length 15: the
    // SBAS mask lies on the closing DLE, the ETX and two zeros (0x0310).
    for (std::size_t payload_size : {1u, 2u, 6u, 7u, 11u, 12u}) {
        waypoints record;
        decode_used_satellites(assemble(kIdUsedSatellites, Bytes(payload_size, 0xFF)), record);
        EXPECT_NE(record.sats_used, -1) << payload_size + 3;
    }
    waypoints record;
    decode_used_satellites(assemble(kIdUsedSatellites, Bytes(12, 0xFF)), record);
    EXPECT_EQ(record.sats_used, 32 + 32 + 3);
    EXPECT_EQ(record.sats[33 + 4].used, 1);
    EXPECT_EQ(record.sats[33 + 8].used, 1);
    EXPECT_EQ(record.sats[33 + 9].used, 1);
    EXPECT_EQ(record.sats[33 + 5].used, 0);
}

TEST(DecodeUsedSatellites, AcceptedLengths) {
    // Length 19 holds the masks exactly; 29 and 30 pass the rule too.
    for (std::size_t payload_size : {16u, 26u, 27u}) {
        Bytes payload(payload_size, 0);
        payload[4] = 0x10;  // GPS PRN 5
        waypoints record;
        decode_used_satellites(assemble(kIdUsedSatellites, payload), record);
        EXPECT_EQ(record.sats_used, 1) << payload_size + 3;
        EXPECT_EQ(record.sats[5].used, 1) << payload_size + 3;
    }
}

}  // namespace
}  // namespace zelvo
