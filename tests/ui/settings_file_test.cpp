#include "ui/settings_file.h"

#include <climits>
#include <iterator>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../test_support.h"
#include "ui/ini_file.h"
#include "ui/settings_paths.h"

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
