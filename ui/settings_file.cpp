#include "ui/settings_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <strings.h>
#include <sys/stat.h>

#include "ui/ini_file.h"

namespace zelvo {

SettingsValues SettingsValues::built_in_defaults(int left, int top) {
    SettingsValues v;
    v.track_color = kRed;
    v.full_track_color = kGreen;
    v.left = left;
    v.top = top;
    return v;
}

bool SettingsValues::same_nine(const SettingsValues& o) const {
    return use_fixed_date == o.use_fixed_date &&
           fixed_date.size() == o.fixed_date.size() &&
           strncasecmp(fixed_date.c_str(), o.fixed_date.c_str(), fixed_date.size()) == 0 &&
           track_color == o.track_color && full_track_color == o.full_track_color &&
           track_width == o.track_width && use_all_waypoints == o.use_all_waypoints &&
           start_first_fix == o.start_first_fix && show_height == o.show_height &&
           icon_scale == o.icon_scale;
}

void SettingsValues::apply_to(ConversionOptions& options) const {
    options.use_fixed_date = use_fixed_date;
    options.fixed_date = fixed_date;
    options.track_color = track_color;
    options.full_track_color = full_track_color;
    options.track_width = track_width;
    options.use_all_waypoints = use_all_waypoints;
    options.start_first_fix = start_first_fix;
    options.show_height = show_height;
    options.icon_scale = icon_scale;
}

SettingsValues load_settings_values(const std::string& path, const SettingsValues& current,
                                    bool* found) {
    struct stat st {};
    bool exists = !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    if (found) *found = exists;
    if (!exists) return SettingsValues::built_in_defaults(current.left, current.top);

    // A file that is there but cannot be read is not the same as no file:
    // quietly taking other settings would convert with colours the user
    // never chose.
    if (!S_ISREG(st.st_mode))
        throw std::runtime_error("Cannot read the settings file " + path +
                                 ": it is not a regular file");
    IniFile ini;
    if (int code = ini.load(path); code != 0)
        throw std::runtime_error("Cannot read the settings file " + path + ": " + std::strerror(code));
    return settings_from_ini(ini, current);
}

SettingsValues settings_from_ini(const IniFile& ini, const SettingsValues& current) {
    SettingsValues v = current;
    auto flag = [&](const char* key, bool& value) {
        if (auto i = ini.read_int(kSettingsSection, key)) value = *i != 0;
    };
    auto text = [&](const char* key, std::string& value) {
        if (auto t = ini.read_text(kSettingsSection, key)) value = *t;
    };
    auto colour = [&](const char* key, ColorRef& value) {
        if (auto i = ini.read_int(kSettingsSection, key)) value = static_cast<ColorRef>(*i);
    };
    auto integer = [&](const char* key, int& value) {
        if (auto i = ini.read_int(kSettingsSection, key)) value = *i;
    };
    flag("CheckBox1", v.use_fixed_date);
    text("MaskEdit1", v.fixed_date);
    colour("ShapeStyleTrack", v.track_color);
    colour("ShapeFullTrack", v.full_track_color);
    text("Edit3", v.track_width);
    flag("CheckBox3", v.show_height);
    flag("CheckBox4", v.start_first_fix);
    flag("CheckBox2", v.use_all_waypoints);
    text("Edit4", v.icon_scale);
    integer("Left", v.left);
    integer("Top", v.top);
    return v;
}

void save_settings_values(const std::string& path, const SettingsValues& v) {
    // The file's other entries are kept, so a file that exists but cannot
    // be read is not replaced by the eleven keys alone.
    IniFile ini;
    if (int code = ini.load(path); code != 0 && code != ENOENT)
        throw std::runtime_error("Unable to write to " + path + ": its content cannot be read: " +
                                 std::strerror(code));
    auto put = [&](const char* key, const std::string& value) {
        ini.write_text(kSettingsSection, key, value);
    };
    auto put_int = [&](const char* key, long long value) { put(key, std::to_string(value)); };
    put("CheckBox1", v.use_fixed_date ? "1" : "0");
    put("MaskEdit1", v.fixed_date);
    put_int("ShapeStyleTrack", static_cast<int>(v.track_color));
    put_int("ShapeFullTrack", static_cast<int>(v.full_track_color));
    put("Edit3", v.track_width);
    put("CheckBox2", v.use_all_waypoints ? "1" : "0");
    put("CheckBox4", v.start_first_fix ? "1" : "0");
    put("CheckBox3", v.show_height ? "1" : "0");
    put("Edit4", v.icon_scale);
    put_int("Left", v.left);
    put_int("Top", v.top);
    ini.save(path);
}

}  // namespace zelvo
