// The command line's forms and options. Every option is one row of a table
// that getopt_long and --help both read: a new option is a new row.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/conversion_options.h"

namespace zelvo {

inline constexpr const char* kProgramName = "zelvoconverter";

// How the arguments are read. No argument, or a single name, opens the
// window; exactly two or three names and no option at all are the classic
// form; anything else is the options form.
enum class CommandForm { Window, Classic, Options };
CommandForm command_form(int argc, char** argv);

// What the options form asks for.
struct CommandRequest {
    std::vector<std::string> inputs;  // "-" reads standard input
    std::string output;               // empty: each input + ".kmz"; "-": standard output
    std::string config;               // empty: the built-in settings
    std::optional<InputFormat> format;  // none: recognised from each log's content
    bool quiet = false;
    std::string summary_path;         // empty: no summary file
    std::vector<CompanionFile> companions;  // in the order given; "-": standard output
    bool help = false;
    bool version = false;
    // Settings given as options, applied in their order over the values of
    // the settings file.
    std::vector<std::function<void(ConversionOptions&)>> settings;
    std::string error;  // a usage error that names the option; empty when none
};

struct OptionRow {
    const char* name;        // the long name, without "--"
    char short_name;         // 0 when there is none
    int argument;            // no_argument, required_argument or optional_argument
    const char* value_name;  // the value as --help shows it: "FILE", "N"
    const char* help;        // one line of --help
    // Takes the option's value (nullptr when none was given). Returns what
    // a valid value looks like when this one is not, otherwise "".
    std::string (*take)(CommandRequest& request, const char* value);
};

// Reads argv (argv[0] is the program) with getopt_long: options and names in
// any order, "--opt=value", clustered short options, "--" ends the options.
CommandRequest parse_options(int argc, char** argv);

// The text of --help.
std::string help_text();

// Values a viewer reads: a plain decimal number ("5", "0.75"), and a
// calendar date yyyy-mm-dd from year 0001 on.
bool is_decimal_number(const std::string& text);
bool is_calendar_date(const std::string& text);

}  // namespace zelvo
