// Where the settings file lives, and where a save with a given name goes.
#pragma once

#include <string>

namespace zelvo {

// The places the settings path is derived from; of_this_program() reads
// them from the running program and the environment, tests make their own.
struct SettingsLocation {
    std::string exe_dir;      // with its trailing '/'
    std::string exe_name;     // the executable's file name
    std::string config_home;  // $XDG_CONFIG_HOME, or ~/.config; no trailing '/'
    std::string home;         // $HOME, or the password database's; no trailing '/'

    static SettingsLocation of_this_program();

    // The settings file beside the program: its name with ".ini" for its
    // extension (zelvoconverter.ini). Only a file already there is used.
    std::string portable_settings_path() const;
    // The executable's directory when portable_settings_path() exists (a
    // portable copy), otherwise <config_home>/zelvoconverter/. With '/'.
    std::string settings_dir() const;
    // portable_settings_path() when it exists, otherwise
    // <config_home>/zelvoconverter/zelvoconverter.ini.
    std::string default_settings_path() const;
    // Where file dialogs start before anything is chosen: the executable's
    // directory when it is writable (a build tree or a portable copy),
    // otherwise the home directory. With '/'.
    std::string start_dir() const;
    // The save path rule: an empty path is the default path; a bare name
    // goes into settings_dir(), with ".ini" added when it has no dot; any
    // path with a directory is used unchanged.
    std::string save_path(const std::string& path) const;
};

std::string default_settings_path();

// Directory part with its trailing '/', and the part after it.
std::string directory_part(const std::string& path);
std::string file_name_part(const std::string& path);

// Creates the directory and its parents; false when it cannot.
bool make_directories(const std::string& dir);

}  // namespace zelvo
