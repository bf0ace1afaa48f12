#include "ui/settings_file.h"

#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/test_support.h"
#include "ui/ini_file.h"

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
