// Runs conversions in a temporary directory and reads the document back.
#pragma once

#include <gtest/gtest.h>
#include <string>

#include "../test_support.h"
#include "engine/conversion_run.h"

namespace zelvo::test {

class RunFixture : public ::testing::Test {
protected:
    // Converts `log` with `options` (paths filled in here) and returns the
    // KML document.
    std::string convert(const std::string& log, ConversionOptions options = defaults(),
                        HeadlessHost* host = nullptr) {
        write_file(dir_.path() / "in.log", log);
        options.input_path = dir_.str() + "in.log";
        options.input_name = "in.log";
        options.output_path = dir_.str() + "out.kmz";
        options.output_name = "out.kmz";
        HeadlessHost local;
        HeadlessHost& h = host ? *host : local;
        RunResult result = conversion_run(options, h);
        EXPECT_EQ(result.outcome, RunOutcome::Finished) << result.reason;
        return document();
    }

    std::string document() const { return read_file(dir_.path() / "out.kml"); }

    // The program's settings when no settings file is given.
    static ConversionOptions defaults() {
        ConversionOptions o;
        o.track_color = kRed;
        o.full_track_color = kGreen;
        return o;
    }

    TempDir dir_;
};

}  // namespace zelvo::test
