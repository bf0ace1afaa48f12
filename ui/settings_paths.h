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
    // $XDG_CONFIG_HOME, or ~/.config; no trailing '/'. Empty when there is
    // no home either: the settings then have no place and are not saved.
    std::string config_home;
    std::string home;         // $HOME, or the password database's; no trailing '/'

    static SettingsLocation of_this_program();

    // A settings file is beside the program: a portable copy, which keeps
    // its settings and takes the classic form's names there.
    bool is_portable() const;

    // The settings file beside the program: its name with ".ini" for its
    // extension (zelvoconverter.ini). Only a file already there is used.
    std::string portable_settings_path() const;
    // The executable's directory when portable_settings_path() exists (a
    // portable copy), otherwise <config_home>/zelvoconverter/. With '/'.
    // Empty when there is no config_home.
    std::string settings_dir() const;
    // portable_settings_path() when it exists, otherwise
    // <config_home>/zelvoconverter/zelvoconverter.ini; empty when there is
    // no settings_dir().
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

// The per-user configuration directory: $XDG_CONFIG_HOME when absolute,
// else <$HOME>/.config, else <the password database's home>/.config; empty
// when none is known. Null or empty values count as unset.
std::string config_home_from(const char* xdg_config_home, const char* home, const char* passwd_home);


// Creates the directory and its parents; false when it cannot.
bool make_directories(const std::string& dir);

}  // namespace zelvo
