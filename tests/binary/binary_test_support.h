// Shared by the binary tests: frames from wire bytes, whole-record
// comparison, logs on disk and a host that counts its calls.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "binary/binary_framer.h"
#include "engine/epoch_stream.h"
#include "engine/ingestion.h"
#include "engine/input_file.h"
#include "engine/run_host.h"
#include "record/waypoints.h"
#include "tools/tolv_builder.h"

#include <unistd.h>

namespace zelvo::test {

using tolv::Bytes;

// The one frame that the wire bytes complete.
inline BinaryFrame assemble(const Bytes& wire) {
    BinaryFramer framer;
    BinaryFrame frame;
    int complete = 0;
    for (std::uint8_t b : wire) {
        if (framer.feed(b, frame) == BinaryFramer::kComplete) ++complete;
    }
    EXPECT_EQ(complete, 1) << "the bytes should hold exactly one frame";
    return frame;
}

inline BinaryFrame assemble(std::uint8_t id, const Bytes& payload) {
    return assemble(tolv::frame(id, payload));
}

// Doubles compare by their bits, so that -0.0 and NaN are told apart.
#define ZELVO_EXPECT_SAME_DOUBLE(field)                                                        \
    EXPECT_EQ(std::bit_cast<std::uint64_t>(expected.field), std::bit_cast<std::uint64_t>(actual.field)) \
        << #field ": expected " << expected.field << ", got " << actual.field

inline void expect_same_record(const waypoints& expected, const waypoints& actual) {
    EXPECT_EQ(expected.time, actual.time);
    ZELVO_EXPECT_SAME_DOUBLE(latitude);
    ZELVO_EXPECT_SAME_DOUBLE(longitude);
    ZELVO_EXPECT_SAME_DOUBLE(altitude);
    EXPECT_EQ(expected.date, actual.date);
    EXPECT_EQ(expected.status, actual.status);
    ZELVO_EXPECT_SAME_DOUBLE(rms);
    EXPECT_EQ(expected.quality, actual.quality);
    EXPECT_EQ(expected.fix_text, actual.fix_text);
    EXPECT_EQ(expected.sats_used, actual.sats_used);
    ZELVO_EXPECT_SAME_DOUBLE(hdop);
    ZELVO_EXPECT_SAME_DOUBLE(diff_age);
    ZELVO_EXPECT_SAME_DOUBLE(speed_kmh);
    ZELVO_EXPECT_SAME_DOUBLE(course);
    EXPECT_EQ(expected.mode_indicator, actual.mode_indicator);
    EXPECT_EQ(expected.fix_mode, actual.fix_mode);
    for (std::size_t i = 0; i < expected.sats.size(); ++i) {
        const sat_entry& e = expected.sats[i];
        const sat_entry& a = actual.sats[i];
        EXPECT_TRUE(e.system == a.system && e.number == a.number && e.channel == a.channel &&
                    e.elevation == a.elevation && e.azimuth == a.azimuth && e.snr == a.snr &&
                    e.used == a.used && e.present == a.present)
            << "satellite entry " << i;
    }
    EXPECT_EQ(expected.has_sats, actual.has_sats);
    EXPECT_EQ(expected.ms_of_day, actual.ms_of_day);
    EXPECT_EQ(expected.has_gga, actual.has_gga);
    EXPECT_EQ(expected.has_rmc, actual.has_rmc);
    EXPECT_EQ(expected.has_latitude, actual.has_latitude);
    EXPECT_EQ(expected.has_longitude, actual.has_longitude);
}

#undef ZELVO_EXPECT_SAME_DOUBLE

inline sat_entry satellite(char system, std::uint8_t number, std::int8_t channel, std::uint8_t elevation,
                           std::uint16_t azimuth, std::uint8_t snr) {
    return sat_entry{system, number, channel, elevation, azimuth, snr, 0, 1};
}

// A log written to a temporary file, removed again at the end of the test.
class TempLog {
public:
    explicit TempLog(const Bytes& bytes) {
        char name[] = "/tmp/zelvo_tolv_XXXXXX";
        const int fd = ::mkstemp(name);
        EXPECT_GE(fd, 0);
        path_ = name;
        std::FILE* f = ::fdopen(fd, "wb");
        if (!bytes.empty()) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        std::fclose(f);
    }
    ~TempLog() { std::remove(path_.c_str()); }
    TempLog(const TempLog&) = delete;
    TempLog& operator=(const TempLog&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class CollectingConsumer : public EpochConsumer {
public:
    void epoch_final(waypoints& record) override { records.push_back(record); }
    std::vector<waypoints> records;
};

class CountingHost : public HeadlessHost {
public:
    void process_messages() override { ++pumps; }
    void advance_progress() override {
        ++advances;
        HeadlessHost::advance_progress();
    }
    std::uint64_t pumps = 0;
    std::uint64_t advances = 0;
};

struct IngestResult {
    std::vector<waypoints> records;
    std::uint64_t pumps = 0;
    std::uint64_t advances = 0;
    int progress = 0;
};

// Runs the binary ingestion over the bytes as a log file, as a run does.
inline IngestResult ingest(const Bytes& log, std::uint64_t progress_step = 0) {
    TempLog file(log);
    InputFile in;
    EXPECT_TRUE(in.open(file.path())) << in.error();
    CountingHost host;
    CollectingConsumer consumer;
    EpochStream epochs(consumer);
    ingest_binary(in, progress_step, host, epochs);
    epochs.finish();
    return IngestResult{consumer.records, host.pumps, host.advances, host.progress()};
}

}  // namespace zelvo::test
