// Every setting the user makes, one row each: the window control that shows
// it (whose object name is also its key in the settings file), the members
// of SettingsValues and ConversionOptions that hold it, and the
// command-line option that sets it. A new setting is a new row.
#pragma once

#include <string>
#include <variant>

#include "engine/conversion_options.h"
#include "ui/settings_file.h"

namespace zelvo {

template <typename T>
struct SettingField {
    T SettingsValues::*value = nullptr;       // nullptr: not kept in the settings file
    T ConversionOptions::*option = nullptr;   // nullptr: not a choice of the run (the window's place)
};

struct Setting {
    // The window control's object name; the [Settings] key when the setting
    // is kept there ("Left" and "Top" are the window's own place).
    const char* name;
    const char* option;  // the command-line option that sets it; nullptr when none
    std::variant<SettingField<bool>, SettingField<std::string>, SettingField<ColorRef>, SettingField<int>> field;
    bool fold_case = false;  // the close-time comparison ignores the letters' case

    bool kept() const {
        return std::visit([](const auto& f) { return f.value != nullptr; }, field);
    }
    // Kept and a choice of the run: the values the close-time comparison looks at.
    bool compared_on_close() const {
        return std::visit([](const auto& f) { return f.value != nullptr && f.option != nullptr; }, field);
    }
};

// The kept ones in the order the settings file holds them.
inline const Setting kSettings[] = {
    {"CheckBox1", "--fixed-date",
     SettingField<bool>{&SettingsValues::use_fixed_date, &ConversionOptions::use_fixed_date}},
    {"MaskEdit1", "--fixed-date",
     SettingField<std::string>{&SettingsValues::fixed_date, &ConversionOptions::fixed_date}, true},
    {"ShapeStyleTrack", "--track-color",
     SettingField<ColorRef>{&SettingsValues::track_color, &ConversionOptions::track_color}},
    {"ShapeFullTrack", "--all-epochs",
     SettingField<ColorRef>{&SettingsValues::full_track_color, &ConversionOptions::full_track_color}},
    {"Edit3", "--width",
     SettingField<std::string>{&SettingsValues::track_width, &ConversionOptions::track_width}},
    {"CheckBox2", "--all-epochs",
     SettingField<bool>{&SettingsValues::use_all_waypoints, &ConversionOptions::use_all_waypoints}},
    {"CheckBox4", nullptr,
     SettingField<bool>{&SettingsValues::start_first_fix, &ConversionOptions::start_first_fix}},
    {"CheckBox3", "--extrude",
     SettingField<bool>{&SettingsValues::show_height, &ConversionOptions::show_height}},
    {"Edit4", "--scale",
     SettingField<std::string>{&SettingsValues::icon_scale, &ConversionOptions::icon_scale}},
    {"Left", nullptr, SettingField<int>{&SettingsValues::left, nullptr}},
    {"Top", nullptr, SettingField<int>{&SettingsValues::top, nullptr}},
    // Chosen for each run, in the window or on the command line; not kept.
    {"Autoshape", "--color-auto", SettingField<ColorRef>{nullptr, &ConversionOptions::color_auto}},
    {"Diffshape", "--color-diff", SettingField<ColorRef>{nullptr, &ConversionOptions::color_diff}},
    {"RTKFixshape", "--color-rtk-fix", SettingField<ColorRef>{nullptr, &ConversionOptions::color_rtk_fix}},
    {"RTKFloatshape", "--color-rtk-float",
     SettingField<ColorRef>{nullptr, &ConversionOptions::color_rtk_float}},
    {"Estematedshape", "--color-estimated",
     SettingField<ColorRef>{nullptr, &ConversionOptions::color_estimated}},
    {"Invalidshape", "--color-invalid", SettingField<ColorRef>{nullptr, &ConversionOptions::color_invalid}},
};

}  // namespace zelvo
