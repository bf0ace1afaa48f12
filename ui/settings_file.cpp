#include "ui/settings_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <strings.h>
#include <sys/stat.h>
#include <type_traits>
#include <variant>

#include "ui/ini_file.h"
#include "ui/settings_table.h"

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
    for (const Setting& setting : kSettings) {
        if (!setting.compared_on_close()) continue;
        const bool same = std::visit(
            [&](const auto& f) {
                const auto& mine = this->*f.value;
                const auto& theirs = o.*f.value;
                if constexpr (std::is_same_v<std::decay_t<decltype(mine)>, std::string>) {
                    if (setting.fold_case)
                        return mine.size() == theirs.size() &&
                               strncasecmp(mine.c_str(), theirs.c_str(), mine.size()) == 0;
                }
                return mine == theirs;
            },
            setting.field);
        if (!same) return false;
    }
    return true;
}

void SettingsValues::apply_to(ConversionOptions& options) const {
    for (const Setting& setting : kSettings) {
        std::visit(
            [&](const auto& f) {
                if (f.value && f.option) options.*f.option = this->*f.value;
            },
            setting.field);
    }
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
    // A missing key, or an integer that does not read, keeps the current value.
    for (const Setting& setting : kSettings) {
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(v.*f.value)>;
                if (!f.value) return;
                if constexpr (std::is_same_v<T, std::string>) {
                    if (auto t = ini.read_text(kSettingsSection, setting.name)) v.*f.value = *t;
                } else if (auto i = ini.read_int(kSettingsSection, setting.name)) {
                    if constexpr (std::is_same_v<T, bool>) v.*f.value = *i != 0;
                    else v.*f.value = static_cast<T>(*i);
                }
            },
            setting.field);
    }
    return v;
}

void save_settings_values(const std::string& path, const SettingsValues& v) {
    // The file's other entries are kept, so a file that exists but cannot
    // be read is not replaced by the eleven keys alone.
    IniFile ini;
    if (int code = ini.load(path); code != 0 && code != ENOENT)
        throw std::runtime_error("Unable to write to " + path + ": its content cannot be read: " +
                                 std::strerror(code));
    for (const Setting& setting : kSettings) {
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(v.*f.value)>;
                if (!f.value) return;
                if constexpr (std::is_same_v<T, std::string>)
                    ini.write_text(kSettingsSection, setting.name, v.*f.value);
                else if constexpr (std::is_same_v<T, bool>)
                    ini.write_text(kSettingsSection, setting.name, std::string(1, v.*f.value ? '1' : '0'));
                else
                    ini.write_text(kSettingsSection, setting.name, std::to_string(static_cast<int>(v.*f.value)));
            },
            setting.field);
    }
    ini.save(path);
}

}  // namespace zelvo
