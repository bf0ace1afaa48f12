// The eleven persistent settings of the window and their INI file.
#pragma once

#include <string>

#include "engine/conversion_options.h"

namespace zelvo {

inline constexpr const char* kSettingsSection = "Settings";

// The initial values are those of the window before any load, which are
// the run's own defaults.
inline const ConversionOptions& initial_options() {
    static const ConversionOptions initial;
    return initial;
}

// Where the window first stands, before a saved position moves it.
inline constexpr int kInitialLeft = 616;
inline constexpr int kInitialTop = 315;

// The values the settings file keeps; settings_table.h names each one's key,
// control and option.
struct SettingsValues {
    bool use_fixed_date = initial_options().use_fixed_date;
    std::string fixed_date = initial_options().fixed_date;
    ColorRef track_color = initial_options().track_color;
    ColorRef full_track_color = initial_options().full_track_color;
    std::string track_width = initial_options().track_width;
    bool use_all_waypoints = initial_options().use_all_waypoints;
    bool start_first_fix = initial_options().start_first_fix;
    bool show_height = initial_options().show_height;
    std::string icon_scale = initial_options().icon_scale;
    int left = kInitialLeft;
    int top = kInitialTop;

    // The form's initial values (the window before any load).
    static SettingsValues form_initial() { return {}; }
    // What a load from a missing file puts in (the position is not changed).
    static SettingsValues built_in_defaults(int left = kInitialLeft, int top = kInitialTop);

    // The nine values the close-time comparison looks at.
    bool same_nine(const SettingsValues& other) const;
    void apply_to(ConversionOptions& options) const;
};

class IniFile;

// Loads `path` over `current`: a missing key or an unreadable integer keeps
// the current value. A path that names no file gives the built-in defaults
// (keeping the position). `found` tells which case applied. A file that
// exists but cannot be read throws std::runtime_error naming it and the
// system's reason.
SettingsValues load_settings_values(const std::string& path, const SettingsValues& current,
                                    bool* found = nullptr);

// The values of a read INI text over `current`, as load_settings_values
// takes them from a file.
SettingsValues settings_from_ini(const IniFile& ini, const SettingsValues& current);

// Writes the eleven keys in their order, keeping whatever else the file
// holds. Throws std::runtime_error("Unable to write to <path>"), also when
// the file exists but cannot be read.
void save_settings_values(const std::string& path, const SettingsValues& values);

}  // namespace zelvo
