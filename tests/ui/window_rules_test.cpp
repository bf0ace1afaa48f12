// The window's rules that need no widgets: spinners, the error report text
// and where the settings file goes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/test_support.h"
#include "ui/settings_paths.h"
#include "ui/window_rules.h"

namespace zelvo {
namespace {

struct StepCase {
    const char* text;
    int step;
    const char* expected;
};

TEST(TrackWidthSpinner, ClampsToOneToTenAndReadsTheLeadingInteger) {
    const StepCase cases[] = {
        {"5", +1, "6"},    {"10", +1, "10"},   {"1", -1, "1"},     {"5", -1, "4"},
        {"0", +1, "1"},    {"", +1, "1"},      {"abc", -1, "1"},   {"  7x", +1, "8"},
        {"-3", +1, "1"},   {"+9", +1, "10"},   {"25", -1, "10"},   {"11", -1, "10"},
        {"99999999999999999999", -1, "10"},    {"-99999999999999999999", +1, "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(step_track_width(c.text, c.step), c.expected) << '"' << c.text << "\" " << c.step;
}

TEST(IconScaleSpinner, SixDecimalsInsideAndOneDecimalAtTheClamps) {
    const StepCase cases[] = {
        {"0.5", +1, "0.600000"},      {"1.000000", +1, "1.0"}, {"1.0", -1, "0.900000"},
        {"0.100000", -1, "0.1"},      {"0.1", +1, "0.200000"}, {"0.2", -1, "0.100000"},
        {"", +1, "0.100000"},         {"x", -1, "0.1"},        {"  0.35abc", +1, "0.450000"},
        {"+0.5", -1, "0.400000"},     {"5", -1, "1.0"},        {"-2", +1, "0.1"},
        {"1e-1", +1, "0.200000"},     {"nan", +1, "0.100000"},      {"inf", -1, "1.0"},
        {"1e999", -1, "1.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(step_icon_scale(c.text, c.step), c.expected) << '"' << c.text << "\" " << c.step;
}

TEST(SavedWindowPosition, LandsWhollyOnTheScreenItOverlapsMost) {
    const std::vector<ScreenRect> screens = {{0, 0, 1920, 1040}, {1920, 0, 1280, 1024}};
    const struct {
        ScreenRect asked;
        int left, top;
    } cases[] = {
        {{616, 315, 399, 377}, 616, 315},      // already on the first screen
        {{3000, 2000, 399, 377}, 2801, 647},   // below and right of the second
        {{-500, -40, 399, 377}, 0, 0},         // beyond the top left corner
        {{1800, 100, 399, 377}, 1920, 100},    // across the seam, mostly on the second
        {{1600, 900, 399, 377}, 1521, 663},    // mostly on the first
        {{9000, 9000, 399, 377}, 2801, 647},   // on none: the nearest screen
        {{100, 100, 2500, 1200}, 0, 0},        // larger than the screen
    };
    for (const auto& c : cases) {
        ScreenRect placed = place_on_screen(c.asked, screens);
        EXPECT_EQ(placed.left, c.left) << c.asked.left << "," << c.asked.top;
        EXPECT_EQ(placed.top, c.top) << c.asked.left << "," << c.asked.top;
    }
}

TEST(ErrorReportText, AddsAFullStopOnlyAfterCharactersAboveTheFullStop) {
    EXPECT_EQ(error_report_text("Cannot create file /x/255.png"), "Cannot create file /x/255.png.");
    EXPECT_EQ(error_report_text("Unable to write to a.ini"), "Unable to write to a.ini.");
    EXPECT_EQ(error_report_text("Done."), "Done.");
    EXPECT_EQ(error_report_text("Failed!"), "Failed!");       // '!' is below '.'
    EXPECT_EQ(error_report_text("code -"), "code -");         // '-' is below '.'
    EXPECT_EQ(error_report_text("path /"), "path /.");        // '/' is above '.'
    EXPECT_EQ(error_report_text(""), "");
    // A multibyte last character counts by its code, which is above '.'.
    EXPECT_EQ(error_report_text("Файл"), "Файл.");
}

TEST(SettingsLocation, PerUserDirectoryUnlessASettingsFileIsBesideTheProgram) {
    const test::TempDir scratch;
    const std::filesystem::path dir = scratch.path();
    std::filesystem::create_directories(dir / "portable");
    std::filesystem::create_directories(dir / "renamed");
    std::filesystem::create_directories(dir / "writable");
    std::ofstream(dir / "portable" / "zelvoconverter.ini") << "[Settings]\n";
    std::ofstream(dir / "renamed" / "ZelvoConverter.ini") << "[Settings]\n";
    const std::string d = dir.string() + "/";
    const std::string per_user = "/home/u/.config/zelvoconverter/zelvoconverter.ini";
    struct Case {
        std::string exe_dir, exe_name, settings_path, start_dir;
    } cases[] = {
        // A writable directory alone (a build tree, /usr/bin as root) is not portable use.
        {d + "writable/", "zelvoconverter", per_user, d + "writable/"},
        {d + "portable/", "zelvoconverter", d + "portable/zelvoconverter.ini", d + "portable/"},
        {d + "renamed/", "ZelvoConverter.exe", d + "renamed/ZelvoConverter.ini", d + "renamed/"},
        {d + "renamed/", "zelvoconverter", per_user, d + "renamed/"},
        {"/nonexistent/bin/", "zelvoconverter", per_user, "/home/u/"},
    };
    for (const Case& c : cases) {
        SettingsLocation loc{c.exe_dir, c.exe_name, "/home/u/.config", "/home/u"};
        EXPECT_EQ(loc.default_settings_path(), c.settings_path) << c.exe_dir << c.exe_name;
        EXPECT_EQ(loc.settings_dir(), directory_part(c.settings_path)) << c.exe_dir;
        EXPECT_EQ(loc.start_dir(), c.start_dir) << c.exe_dir;
    }
}

TEST(SettingsLocation, SavePathRule) {
    SettingsLocation loc{"/nonexistent/bin/", "zelvoconverter", "/cfg", "/home/u"};
    const std::string d = "/cfg/zelvoconverter/";
    EXPECT_EQ(loc.save_path(""), d + "zelvoconverter.ini");
    EXPECT_EQ(loc.save_path("myconf"), d + "myconf.ini");
    EXPECT_EQ(loc.save_path("myconf.cfg"), d + "myconf.cfg");
    EXPECT_EQ(loc.save_path("/tmp/x/myconf"), "/tmp/x/myconf");  // kept without extension
    EXPECT_EQ(loc.save_path("sub/myconf"), "sub/myconf");
}

TEST(SettingsLocation, ConfigHomeFollowsTheEnvironment) {
    const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old_xdg ? old_xdg : "";
    std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/xdg/home", 1);
    EXPECT_EQ(SettingsLocation::of_this_program().config_home, "/xdg/home");
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SettingsLocation::of_this_program().config_home, "/home/someone/.config");
    if (old_xdg) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", saved_home.c_str(), 1);
}

TEST(MakeDirectories, CreatesEveryMissingLevel) {
    const test::TempDir scratch;
    const std::filesystem::path base = scratch.path();
    std::string deep = (base / "a" / "b" / "c").string() + "/";
    EXPECT_TRUE(make_directories(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(make_directories(deep));  // already there
    EXPECT_FALSE(make_directories("/proc/zelvo/none/"));
}

}  // namespace
}  // namespace zelvo
