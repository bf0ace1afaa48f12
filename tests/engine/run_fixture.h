// Runs conversions in a temporary directory and reads the document back.
#pragma once

#include <gtest/gtest.h>
#include <string>

#include "tests/output/zip_reader.h"
#include "tests/test_support.h"
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
        result_ = conversion_run(options, h);
        EXPECT_EQ(result_.outcome, RunOutcome::Finished) << result_.reason;
        return document();
    }

    std::string document() const { return kml_in_archive(dir_.path() / "out.kmz"); }

    // The archive's members, checked by a strict reader.
    static std::vector<ZipMember> members(const std::filesystem::path& kmz) { return read_zip(read_file(kmz)); }

    // The KML document: the archive's first member.
    static std::string kml_in_archive(const std::filesystem::path& kmz) {
        auto m = members(kmz);
        return m.empty() ? std::string() : m.front().data;
    }

    // The document written to a file of its own, for tools that read files.
    std::string document_file() const {
        std::filesystem::path p = dir_.path() / "document.kml";
        write_file(p, document());
        return p.string();
    }

    // The program's settings when no settings file is given.
    static ConversionOptions defaults() {
        ConversionOptions o;
        o.track_color = kRed;
        o.full_track_color = kGreen;
        return o;
    }

    TempDir dir_;
    RunResult result_;  // of the last convert()
};

}  // namespace zelvo::test
