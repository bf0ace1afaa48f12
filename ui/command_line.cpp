#include "ui/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/conversion_run.h"
#include "engine/summary_report.h"
#include "ui/settings_file.h"

namespace zelvo {

namespace {

constexpr const char* kProgram = "zelvoconverter";

const char* kUsage =
    "Usage: zelvoconverter INPUT OUTPUT.kmz [CONFIG.ini]\n"
    "       zelvoconverter [-o OUTPUT.kmz] [-c CONFIG.ini] [-f nmea|tolv] [-q]\n"
    "                      [--summary FILE.json] [--timeline] INPUT...\n"
    "\n"
    "Converts GNSS receiver logs into KMZ files for a globe viewer.\n"
    "\n"
    "The first form reads INPUT and writes OUTPUT.kmz beside the program (unless\n"
    "they are absolute paths) and CONFIG.ini from the current directory, as NMEA.\n"
    "The second form takes paths relative to the current directory:\n"
    "  -o OUTPUT   the archive to write (one input only; default INPUT.kmz)\n"
    "  -c CONFIG   the settings file to use (default: built-in settings)\n"
    "  -f FORMAT   nmea (default) or tolv, the receiver's binary protocol\n"
    "  -q          no lines per converted file (its name and its session summary)\n"
    "  --summary FILE  also write the session summaries to FILE as JSON\n"
    "  --timeline  add a fix-status strip and the session summary to the document\n"
    "  -h, --help  this text\n"
    "  --version   the program's version\n"
    "Exit status: 0 all converted, 1 a conversion failed, 2 a usage error.\n";

std::string base_name(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

// Reports progress as a bar on stderr when stderr is a terminal.
class CommandLineHost : public HeadlessHost {
public:
    CommandLineHost(std::string label, bool bar) : label_(std::move(label)), bar_(bar) {}
    ~CommandLineHost() override { end_bar(); }

    void reset_progress() override {
        HeadlessHost::reset_progress();
        draw();
    }
    void advance_progress() override {
        int before = progress();
        HeadlessHost::advance_progress();
        if (progress() != before) draw();
    }
    void end_bar() {
        if (bar_ && drawn_) std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    void draw() {
        if (!bar_) return;
        constexpr int kWidth = 30;
        int filled = progress() * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%% %s", filled, "##############################",
                     kWidth - filled, "", progress(), label_.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    std::string label_;
    bool bar_;
    bool drawn_ = false;
};

// Converts one log; returns true on success, naming any failure on stderr.
// The session summary of a converted log is printed unless quiet, and kept
// in `summaries` when given.
bool convert(ConversionOptions& options, bool quiet, std::vector<SummaryEntry>* summaries = nullptr) {
    CommandLineHost host(base_name(options.input_path), isatty(STDERR_FILENO) != 0);
    RunResult result;
    try {
        result = conversion_run(options, host);
    } catch (const std::exception& e) {
        host.end_bar();
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, options.input_path.c_str(), e.what());
        return false;
    }
    host.end_bar();
    if (result.outcome == RunOutcome::InputNotOpened) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, host.status().c_str(), options.input_path.c_str());
        if (!result.reason.empty()) std::fprintf(stderr, "  (%s)\n", result.reason.c_str());
        return false;
    }
    if (result.outcome == RunOutcome::OutputNotCreated) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, host.status().c_str(), options.output_path.c_str());
        if (!result.reason.empty()) std::fprintf(stderr, "  (%s)\n", result.reason.c_str());
        return false;
    }
    if (!quiet) {
        std::printf("%s: %s -> %s\n", options.input_path.c_str(), host.count_text().c_str(),
                    options.output_path.c_str());
        if (result.summary) std::fputs(summary_lines(*result.summary).c_str(), stdout);
    }
    if (summaries && result.summary)
        summaries->push_back({options.input_path, options.output_path, options.input_format, *result.summary});
    return true;
}

// zelvoconverter INPUT OUTPUT.kmz [CONFIG.ini]: always NMEA; the input and
// output beside the program, the settings from the current directory.
int run_plain_form(int argc, char** argv) {
    const std::string exe_dir = executable_dir();
    ConversionOptions options;
    std::string input = argv[1];
    std::string output = argv[2];
    std::string config = argc >= 4 ? argv[3] : "";

    // An absolute path is used as it stands rather than joined behind the
    // program's directory, where it would name nothing.
    options.input_name = input;
    options.input_path = is_absolute(input) ? input : exe_dir + input;
    if (is_absolute(output)) {
        options.output_path = output;
        options.output_name = base_name(output);
    } else {
        options.output_name = output;
    }
    options.config_path = config;
    const std::string settings_path = is_absolute(config) ? config : "./" + config;
    load_settings_values(settings_path, SettingsValues::form_initial()).apply_to(options);
    options.input_format = kFormatNmea;
    return convert(options, true) ? 0 : 1;
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, message.c_str(), kProgram);
    return 2;
}

// Writes the summaries as JSON; names the file and the reason on failure.
bool write_summary_file(const std::string& path, const std::vector<SummaryEntry>& summaries) {
    const std::string json = summary_json(summaries);
    int error = 0;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (std::fwrite(json.data(), 1, json.size(), f) != json.size()) error = errno;
        if (std::fclose(f) != 0 && error == 0) error = errno;
    } else {
        error = errno;
    }
    if (error != 0)
        std::fprintf(stderr, "%s: %s: cannot write the summary (%s)\n", kProgram, path.c_str(), std::strerror(error));
    return error == 0;
}

int run_options_form(int argc, char** argv) {
    std::string output;
    std::string config;
    std::string summary_path;
    bool timeline = false;
    bool quiet = false;
    std::int32_t format = kFormatNmea;
    std::vector<std::string> inputs;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            inputs.push_back(arg);
            continue;
        }
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)what;
            return argv[++i];
        };
        if (arg == "--") {
            options_done = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s 6.0\n", kProgram);
            return 0;
        } else if (arg == "-q" || arg == "--quiet") {
            quiet = true;
        } else if (arg == "-o" || arg == "--output") {
            const char* v = value("output");
            if (!v) return usage_error("option " + arg + " needs a file name");
            output = v;
        } else if (arg == "--summary") {
            const char* v = value("summary");
            if (!v) return usage_error("option " + arg + " needs a file name");
            summary_path = v;
        } else if (arg == "--timeline") {
            timeline = true;
        } else if (arg == "-c" || arg == "--config") {
            const char* v = value("config");
            if (!v) return usage_error("option " + arg + " needs a file name");
            config = v;
        } else if (arg == "-f" || arg == "--format") {
            const char* v = value("format");
            if (!v) return usage_error("option " + arg + " needs nmea or tolv");
            std::string f = v;
            if (f == "nmea" || f == "NMEA") format = kFormatNmea;
            else if (f == "tolv" || f == "TOLV") format = kFormatBinary;
            else return usage_error("unknown format '" + f + "' (use nmea or tolv)");
        } else {
            return usage_error("unknown option '" + arg + "'");
        }
    }
    if (inputs.empty()) return usage_error("no input file given");
    if (!output.empty() && inputs.size() > 1) return usage_error("-o takes one input only");

    SettingsValues settings = SettingsValues::built_in_defaults();
    if (!config.empty()) {
        bool found = false;
        settings = load_settings_values(config, SettingsValues::form_initial(), &found);
        if (!found) return usage_error("cannot read the settings file '" + config + "'");
    }

    bool all_ok = true;
    std::vector<SummaryEntry> summaries;
    for (const std::string& input : inputs) {
        ConversionOptions options;
        settings.apply_to(options);
        options.input_format = format;
        options.config_path = config;
        options.input_path = input;
        options.input_name = base_name(input);
        options.output_path = output.empty() ? input + ".kmz" : output;
        options.output_name = base_name(options.output_path);
        options.timeline = timeline;
        all_ok = convert(options, quiet, &summaries) && all_ok;
    }
    if (!summary_path.empty()) all_ok = write_summary_file(summary_path, summaries) && all_ok;
    return all_ok ? 0 : 1;
}

}  // namespace

int run_command_line(int argc, char** argv) {
    if (argc >= 2 && argv[1][0] == '-') return run_options_form(argc, argv);
    if (argc >= 3) return run_plain_form(argc, argv);
    return usage_error("missing arguments");
}

}  // namespace zelvo
