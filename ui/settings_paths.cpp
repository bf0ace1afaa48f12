#include "ui/settings_paths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace zelvo {

namespace {

const char* passwd_home() {
    const passwd* pw = ::getpwuid(::getuid());
    return pw ? pw->pw_dir : nullptr;
}

// No shared directory such as /tmp stands in for a missing home: another
// user could place or read the files there.
std::string home_dir() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const char* h = passwd_home(); h && *h) return h;
    return {};
}

bool is_writable_dir(const std::string& dir) {
    struct stat st {};
    return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(dir.c_str(), W_OK) == 0;
}

bool is_regular_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

SettingsLocation SettingsLocation::of_this_program() {
    SettingsLocation loc;
    std::string exe = executable_path();
    loc.exe_dir = directory_part(exe);
    loc.exe_name = file_name_part(exe);
    if (loc.exe_name.empty()) loc.exe_name = "zelvoconverter";
    loc.home = home_dir();
    loc.config_home = config_home_from(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), passwd_home());
    return loc;
}

std::string config_home_from(const char* xdg_config_home, const char* home, const char* passwd_home) {
    // Only an absolute $XDG_CONFIG_HOME counts, as the base directory rules say.
    if (xdg_config_home && xdg_config_home[0] == '/') return xdg_config_home;
    for (const char* h : {home, passwd_home})
        if (h && *h) return std::string(h) + "/.config";
    return {};
}

bool SettingsLocation::is_portable() const { return !exe_dir.empty() && is_regular_file(portable_settings_path()); }

std::string SettingsLocation::portable_settings_path() const {
    std::string name = exe_name;
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return exe_dir + name + ".ini";
}

// A writable program directory alone no longer means portable use: after an
// install as root that would be /usr/bin. Only a settings file someone put
// beside the program does.
std::string SettingsLocation::settings_dir() const {
    if (is_portable()) return exe_dir;
    return config_home.empty() ? std::string() : config_home + "/zelvoconverter/";
}

std::string SettingsLocation::default_settings_path() const {
    std::string dir = settings_dir();
    if (dir.empty()) return {};
    return dir == exe_dir ? portable_settings_path() : dir + "zelvoconverter.ini";
}

std::string SettingsLocation::start_dir() const {
    if (is_writable_dir(exe_dir)) return exe_dir;
    return home.empty() || home == "/" ? std::string("/") : home + "/";
}

std::string SettingsLocation::save_path(const std::string& path) const {
    if (path.empty()) return default_settings_path();
    if (path.find('/') != std::string::npos) return path;
    if (settings_dir().empty()) return {};
    std::string name = path;
    if (name.find('.') == std::string::npos) name += ".ini";
    return settings_dir() + name;
}

std::string default_settings_path() {
    return SettingsLocation::of_this_program().default_settings_path();
}

bool make_directories(const std::string& dir) {
    if (dir.empty()) return true;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty() || partial == "/") continue;
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace zelvo
