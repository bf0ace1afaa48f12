// The window's rules that need no widgets: spinners, the error report text
// and where the settings file goes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

TEST(SettingsLocation, ExecutableDirectoryWhenWritableElseThePerUserDirectory) {
    auto dir = std::filesystem::temp_directory_path() / "zelvo_rules_test";
    std::filesystem::create_directories(dir);
    SettingsLocation beside{dir.string() + "/", "zelvoconverter", "/home/u/.config"};
    EXPECT_EQ(beside.default_settings_path(), dir.string() + "/zelvoconverter.ini");
    SettingsLocation renamed{dir.string() + "/", "ZelvoConverter.exe", "/home/u/.config"};
    EXPECT_EQ(renamed.default_settings_path(), dir.string() + "/ZelvoConverter.ini");

    SettingsLocation installed{"/nonexistent/bin/", "zelvoconverter", "/home/u/.config"};
    EXPECT_EQ(installed.settings_dir(), "/home/u/.config/zelvoconverter/");
    EXPECT_EQ(installed.default_settings_path(), "/home/u/.config/zelvoconverter/zelvoconverter.ini");
    std::filesystem::remove_all(dir);
}

TEST(SettingsLocation, SavePathRule) {
    SettingsLocation loc{"/nonexistent/bin/", "zelvoconverter", "/cfg"};
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
    auto base = std::filesystem::temp_directory_path() / "zelvo_mkdirs_test";
    std::filesystem::remove_all(base);
    std::string deep = (base / "a" / "b" / "c").string() + "/";
    EXPECT_TRUE(make_directories(deep));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(make_directories(deep));  // already there
    EXPECT_FALSE(make_directories("/proc/zelvo/none/"));
    std::filesystem::remove_all(base);
}

}  // namespace
}  // namespace zelvo
