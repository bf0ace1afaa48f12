#include "ui/settings_file.h"

#include <climits>
#include <iterator>
#include <type_traits>
#include <variant>
#include <vector>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/test_support.h"
#include "ui/command_options.h"
#include "ui/ini_file.h"
#include "ui/settings_paths.h"
#include "ui/settings_table.h"

using namespace zelvo;
using namespace zelvo::test;

TEST(IniInteger, DecimalHexadecimalAndTheWrapToThirtyTwoBits) {
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"255", 255},          {" -42 ", -42},          {"0x0000FF", 255},     {"0XfF", 255},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}, {"2147483648", {}},  {"0xFFFFFFFF", -1},
        {"0x80000000", INT_MIN}, {"-0x80000000", INT_MIN}, {"-0x1", -1},         {"-0xFFFFFFFF", 1},
        {"0x100000000", {}},    {"blue", {}},            {"0x", {}},            {"", {}},
        {"+7", 7},              {"1e3", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(IniFile::parse_int(c.text), c.value) << c.text;
}

TEST(SettingsFile, AFileThatCannotBeReadIsAnErrorNotTheDefaults) {
    TempDir dir;
    const std::string fifo = dir.str() + "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> unreadable = {fifo};
    const std::string locked = dir.str() + "locked.ini";
    write_file(locked, "[Settings]\nCheckBox3=1\nOther=kept\n");
    if (::geteuid() != 0) {
        ::chmod(locked.c_str(), 0200);
        unreadable.push_back(locked);
    }
    for (const std::string& path : unreadable) {
        try {
            load_settings_values(path, SettingsValues::form_initial());
            ADD_FAILURE() << "no error for " << path;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot read the settings file " + path + ": "), std::string::npos)
                << e.what();
        }
        // Saving would drop the entries it cannot see: refused.
        EXPECT_THROW(save_settings_values(path, SettingsValues::form_initial()), std::runtime_error) << path;
    }
    if (::geteuid() != 0) {
        ::chmod(locked.c_str(), 0600);
        EXPECT_EQ(read_file(locked), "[Settings]\nCheckBox3=1\nOther=kept\n");
    }
    // A missing file is still the built-in defaults.
    bool found = true;
    EXPECT_EQ(load_settings_values(dir.str() + "missing.ini", SettingsValues::form_initial(), &found).track_color, kRed);
    EXPECT_FALSE(found);
}

namespace {

// The value a setting's option is given, and the same value in its member.
struct OptionSample { const char* option; std::vector<std::string> words; };
const OptionSample kOptionSamples[] = {
    {"--fixed-date", {"--fixed-date=2011-02-03"}}, {"--track-color", {"--track-color=blue"}},
    {"--all-epochs", {"--all-epochs=blue"}},      {"--width", {"--width=7"}},
    {"--extrude", {"--extrude"}},                 {"--scale", {"--scale=0.7"}},
    {"--color-auto", {"--color-auto=blue"}},      {"--color-diff", {"--color-diff=blue"}},
    {"--color-rtk-fix", {"--color-rtk-fix=blue"}}, {"--color-rtk-float", {"--color-rtk-float=blue"}},
    {"--color-estimated", {"--color-estimated=blue"}}, {"--color-invalid", {"--color-invalid=blue"}},
};

ConversionOptions with_options(std::vector<std::string> words) {
    words.insert(words.begin(), "zelvoconverter");
    words.push_back("a.log");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    const CommandRequest r = parse_options(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(r.error, "");
    // From the window's initial values, where --fixed-date has its date to change.
    ConversionOptions o;
    o.use_fixed_date = false;
    for (const auto& setting : r.settings) setting(o);
    return o;
}

}  // namespace

TEST(SettingsTable, EachOptionSetsTheMemberItsRowNames) {
    for (const Setting& s : kSettings) {
        if (!s.option) continue;
        const OptionSample* sample = nullptr;
        for (const OptionSample& o : kOptionSamples) if (std::string(o.option) == s.option) sample = &o;
        ASSERT_TRUE(sample) << s.option << " has no sample here";
        const ConversionOptions before = with_options({}), after = with_options(sample->words);
        std::visit([&](const auto& f) { EXPECT_NE(after.*f.option, before.*f.option) << s.name << " " << s.option; },
                   s.field);
    }
}

TEST(SettingsTable, EachKeptSettingGoesThroughTheFileUnderItsName) {
    TempDir dir;
    for (const Setting& s : kSettings) {
        if (!s.kept()) continue;
        // One value changed from the built-in defaults; the others stay.
        SettingsValues changed = SettingsValues::built_in_defaults();
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(changed.*f.value)>;
                if constexpr (std::is_same_v<T, std::string>) changed.*f.value += "9";
                else if constexpr (std::is_same_v<T, bool>) changed.*f.value = !(changed.*f.value);
                else changed.*f.value = static_cast<T>(changed.*f.value + 7);
            },
            s.field);
        const std::string path = dir / (std::string(s.name) + ".ini");
        save_settings_values(path, changed);
        const SettingsValues back = load_settings_values(path, SettingsValues::built_in_defaults());
        EXPECT_EQ(back.same_nine(changed) && back.left == changed.left && back.top == changed.top, true) << s.name;
        EXPECT_EQ(back.same_nine(SettingsValues::built_in_defaults()), !s.compared_on_close()) << s.name;
        EXPECT_NE(read_file(path).find(std::string("\n") + s.name + "="), std::string::npos) << s.name;
    }
}

TEST(SettingsFile, SavingNeverWritesThroughAPlantedTemporaryName) {
    TempDir dir;
    const std::string path = dir.str() + "s.ini";
    write_file(dir.path() / "victim", "someone's file");
    std::filesystem::create_symlink(dir.path() / "victim", path + ".tmp");
    save_settings_values(path, SettingsValues::form_initial());
    EXPECT_EQ(read_file(dir.path() / "victim"), "someone's file");
    EXPECT_NE(read_file(path).find("CheckBox1="), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);  // no temporary left
}

TEST(SettingsLocation, ConfigHomeNeverFallsBackToASharedFolder) {
    const struct {
        const char *xdg, *home, *passwd_home;
        std::string config_home;
    } cases[] = {
        {"/xdg", "/home/u", "/pw", "/xdg"},
        {"relative", "/home/u", "/pw", "/home/u/.config"},
        {nullptr, "", "/pw", "/pw/.config"},
        {nullptr, nullptr, "/pw", "/pw/.config"},
        {nullptr, nullptr, nullptr, ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(config_home_from(c.xdg, c.home, c.passwd_home), c.config_home) << c.config_home;
    // Without a place, nothing is saved and nothing is proposed.
    SettingsLocation nowhere{"/nonexistent/bin/", "zelvoconverter", "", ""};
    EXPECT_EQ(nowhere.settings_dir(), "");
    EXPECT_EQ(nowhere.default_settings_path(), "");
    EXPECT_EQ(nowhere.save_path(""), "");
    EXPECT_EQ(nowhere.save_path("mine"), "");
    EXPECT_EQ(nowhere.save_path("/home/else/mine.ini"), "/home/else/mine.ini");  // the user's own choice
}
