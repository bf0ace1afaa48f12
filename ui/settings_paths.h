// Where the settings file lives, and where a save with a given name goes.
#pragma once

#include <string>

#include "output/file_paths.h"

namespace zelvo {

// The places the settings path is derived from; of_this_program() reads
// them from the running program and the environment, tests make their own.
struct SettingsLocation {
    std::string exe_dir;      // with its trailing '/'
    std::string exe_name;     // the executable's file name
    std::string config_home;  // $XDG_CONFIG_HOME, or ~/.config; no trailing '/'

    static SettingsLocation of_this_program();

    // The executable's directory when it is writable (a build tree or a
    // portable copy), otherwise <config_home>/zelvoconverter/. With '/'.
    std::string settings_dir() const;
    // settings_dir() and the executable's name with ".ini" for its extension
    // (zelvoconverter.ini in the per-user directory).
    std::string default_settings_path() const;
    // The save path rule: an empty path is the default path; a bare name
    // goes into settings_dir(), with ".ini" added when it has no dot; any
    // path with a directory is used unchanged.
    std::string save_path(const std::string& path) const;
};

std::string default_settings_path();


// Creates the directory and its parents; false when it cannot.
bool make_directories(const std::string& dir);

}  // namespace zelvo
