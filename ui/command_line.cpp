#include "ui/command_line.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/conversion_run.h"
#include "engine/epoch_outputs.h"
#include "engine/input_file.h"
#include "engine/input_formats.h"
#include "engine/output_guard.h"
#include "engine/summary_report.h"
#include "output/file_paths.h"
#include "output/kmz_packager.h"
#include "output/replaced_file.h"
#include "output/temporary_files.h"
#include "ui/command_options.h"
#include "ui/interrupt_signals.h"
#include "ui/settings_file.h"
#include "ui/settings_paths.h"

namespace zelvo {

namespace {

constexpr const char* kProgram = kProgramName;
// What "-" names: standard input as INPUT, standard output as OUTPUT.
constexpr const char* kStandardStream = "-";
// The document inside an archive written to standard output, which has no
// name to give it: the name a KMZ's main document customarily has.
constexpr const char* kStreamArchiveName = "doc.kmz";

bool is_absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string shown_input(const std::string& input) {
    return input == kStandardStream ? "standard input" : input;
}

// Reports progress on stderr when it is a terminal: a bar with the
// percentage, or, for a log of unknown size, the bytes read.
class CommandLineHost : public HeadlessHost {
public:
    CommandLineHost(std::string label, bool bar, bool count_bytes)
        : label_(std::move(label)), bar_(bar), count_bytes_(count_bytes) {}
    ~CommandLineHost() override { end_bar(); }

    void reset_progress() override {
        HeadlessHost::reset_progress();
        if (!count_bytes_) draw();
    }
    void advance_progress() override {
        int before = progress();
        HeadlessHost::advance_progress();
        if (!count_bytes_ && progress() != before) draw();
    }
    void bytes_read(std::uint64_t total) override {
        // Redrawn every 64 KiB, not for every chunk.
        if (!bar_ || !count_bytes_ || (drawn_ && total >> 16 == bytes_ >> 16)) return;
        bytes_ = total;
        std::fprintf(stderr, "\r%14llu bytes read %s", static_cast<unsigned long long>(total), label_.c_str());
        std::fflush(stderr);
        drawn_ = true;
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
    bool count_bytes_;
    bool drawn_ = false;
    std::uint64_t bytes_ = 0;
};

// A directory only this process uses, removed with what it holds: an
// archive for standard output is built there and then copied out. Its name
// carries the pid, so that a later run can remove it when this one was
// killed before it could.
class PrivateDirectory {
public:
    bool create(std::string& reason) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string parent = std::string(tmp && *tmp ? tmp : "/tmp") + "/";
        const std::string prefix = std::string(kProgram) + "-";
        remove_stale_private_directories(parent, prefix, kStreamArchiveName);
        std::string pattern = parent + prefix + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            reason = pattern + ": " + std::strerror(errno);
            return false;
        }
        path_ = pattern + "/";
        // Stopped by a signal, the program removes the directory and the
        // archive that may be waiting in it.
        directory_slot_ = note_temporary_directory(pattern);
        archive_slot_ = note_temporary_file(path_ + kStreamArchiveName);
        return true;
    }
    const std::string& path() const { return path_; }
    ~PrivateDirectory() {
        if (path_.empty()) return;
        forget_temporary_file(archive_slot_);
        forget_temporary_file(directory_slot_);
        if (DIR* d = ::opendir(path_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") ::unlink((path_ + name).c_str());
            }
            ::closedir(d);
        }
        ::rmdir(path_.c_str());
    }

private:
    std::string path_;
    int directory_slot_ = -1;
    int archive_slot_ = -1;
};

// Copies the file to standard output; returns the system's reason on failure.
std::string copy_to_stdout(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return path + ": " + std::strerror(errno);
    std::string reason;
    char buffer[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) reason = path + ": " + std::strerror(errno);
        if (got <= 0) break;
        for (ssize_t done = 0; done < got && reason.empty();) {
            ssize_t put = ::write(STDOUT_FILENO, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno != EINTR) reason = std::string("standard output: ") + std::strerror(errno);
            if (put > 0) done += put;
        }
        if (!reason.empty()) break;
    }
    ::close(fd);
    return reason;
}

// Exit statuses of one conversion, in rising order of how bad they are.
constexpr int kConverted = 0;
constexpr int kNoEpoch = 3;
constexpr int kFailed = 1;

int worse(int a, int b) {
    auto rank = [](int status) { return status == kFailed ? 2 : status == kNoEpoch ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

// Converts one log; returns its exit status, naming any failure on stderr.
// `shown` is how the messages name the input. A log without a single epoch
// is still converted, but was most likely read in the wrong format: the
// line says which one to try.
// The session summary of a converted log is printed under its line, and
// kept in `summaries`.
// `quiet` leaves out those lines, `progress` draws the bar on a terminal.
// Runs `run`; a failure it throws ends the bar and is reported, named by
// `shown` (the archive's own failures name the archive). False then.
template <typename Run>
bool run_reported(CommandLineHost& host, const std::string& shown, Run&& run) {
    try {
        run();
        return true;
    } catch (const KmzError& e) {
        host.end_bar();
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    } catch (const std::exception& e) {
        host.end_bar();
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, shown.c_str(), e.what());
    }
    return false;
}

int convert(ConversionOptions& options, const std::string& shown, bool quiet, bool progress, bool from_stdin,
            bool to_stdout, std::vector<SummaryEntry>* summaries, std::FILE* lines) {
    CommandLineHost host(file_name_part(shown), progress && isatty(STDERR_FILENO) != 0, from_stdin);
    RunResult result;
    if (!run_reported(host, shown, [&] { result = conversion_run(options, host); })) return kFailed;
    host.end_bar();
    if (result.outcome == RunOutcome::InputNotOpened) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, host.status().c_str(), shown.c_str());
        if (!result.reason.empty()) std::fprintf(stderr, "  (%s)\n", result.reason.c_str());
        return kFailed;
    }
    if (result.outcome == RunOutcome::OutputNotCreated) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, host.status().c_str(), options.output_path.c_str());
        if (!result.reason.empty()) std::fprintf(stderr, "  (%s)\n", result.reason.c_str());
        return kFailed;
    }
    if (to_stdout) {
        std::string reason = copy_to_stdout(result.archive_path);
        if (!reason.empty()) {
            std::fprintf(stderr, "%s: cannot write the archive to standard output: %s\n", kProgram, reason.c_str());
            return kFailed;
        }
    }
    if (!quiet) {
        // Standard output carries the archive itself when it is the target.
        std::FILE* out = to_stdout ? stderr : lines;
        std::fprintf(out, "%s: %s -> %s\n", shown.c_str(), count_text(result).c_str(),
                     to_stdout ? "standard output" : result.archive_path.c_str());
        if (result.summary) {
            std::fputs(format_line(result.format, result.format_recognised).c_str(), out);
            std::fputs(summary_lines(*result.summary).c_str(), out);
        }
    }
    if (summaries && result.summary) {
        summaries->push_back({from_stdin ? "-" : shown, to_stdout ? "-" : result.archive_path, result.format,
                              *result.summary});
    }
    if (result.epochs == 0) {
        const bool unrecognised = options.detect_format && !result.format_recognised;
        std::fprintf(stderr, "%s: no epoch found (%s)\n", shown.c_str(),
                     unrecognised ? "none of NMEA, TOLV or a solution file was recognised; read as NMEA"
                                  : input_format_row(result.format).no_epoch_hint);
        return kNoEpoch;
    }
    return kConverted;
}

// Converts into `output`, or through a private file onto standard output
// when it is "-". `lines` takes the lines about each log unless standard
// output carries the archive.
int convert_to(ConversionOptions& options, const std::string& input, const std::string& output, bool quiet,
               bool progress, std::vector<SummaryEntry>* summaries = nullptr, std::FILE* lines = stdout) {
    const bool to_stdout = output == kStandardStream;
    PrivateDirectory spool;
    // A reader that goes away early is a failed write, not a silent end.
    for (const CompanionFile& f : options.companions)
        if (f.path == kStandardStream) std::signal(SIGPIPE, SIG_IGN);
    if (to_stdout) {
        std::signal(SIGPIPE, SIG_IGN);
        std::string reason;
        if (!spool.create(reason)) {
            std::fprintf(stderr, "%s: cannot make a private directory for the archive: %s\n", kProgram, reason.c_str());
            return kFailed;
        }
        options.output_path = spool.path() + kStreamArchiveName;
        options.output_name = kStreamArchiveName;
    }
    const bool from_stdin = input == kStandardStream;
    if (from_stdin) options.input_path = kStandardInputPath;
    return convert(options, shown_input(input), quiet, progress, from_stdin, to_stdout, summaries, lines);
}

// Writes the summaries as JSON, to standard output for "-"; a file is
// replaced only once it is complete. Names the file and the reason on
// failure.
bool write_summary_file(const std::string& path, const std::vector<SummaryEntry>& summaries) {
    const std::string json = summary_json(summaries);
    if (path == kStandardStream) return std::fwrite(json.data(), 1, json.size(), stdout) == json.size();
    try {
        ReplacedFile file;
        file.open(path);
        file.write(json.data(), json.size());
        file.commit();
        return true;
    } catch (const FileError& e) {
        std::fprintf(stderr, "%s: %s: cannot write the summary (%s)\n", kProgram, path.c_str(),
                     std::strerror(e.code()));
        return false;
    }
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, message.c_str(), kProgram);
    return 2;
}

// A file the settings are to come from must be there and readable.
std::string unreadable_reason(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::strerror(errno);
    struct stat st {};
    bool directory = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    ::close(fd);
    return directory ? std::strerror(EISDIR) : "";
}

// Values of the settings file that the document takes but a viewer cannot
// read are written as they stand, with a warning.
void warn_unreadable_settings(const ConversionOptions& o, const std::string& file) {
    auto warn = [&](const char* key, const std::string& value, const char* what) {
        std::fprintf(stderr, "%s: warning: %s: %s=%s is not %s a viewer can read; it is written as it stands\n",
                     kProgram, file.c_str(), key, value.c_str(), what);
    };
    if (!is_decimal_number(o.track_width)) warn("Edit3", o.track_width, "a track width");
    if (!is_decimal_number(o.icon_scale)) warn("Edit4", o.icon_scale, "an icon scale");
    if (o.use_fixed_date && !is_calendar_date(o.fixed_date)) warn("MaskEdit1", o.fixed_date, "a date");
}

bool refuses_terminal(const std::string& output) {
    return output == kStandardStream && isatty(STDOUT_FILENO);
}

constexpr const char* kTerminalRefusal =
    "an archive is not written to a terminal; redirect standard output or name a file with --output";

// The current directory with its trailing '/'.
std::string current_directory() {
    std::string cwd(PATH_MAX, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return "./";
    cwd.resize(std::strlen(cwd.c_str()));
    return cwd == "/" ? cwd : cwd + "/";
}

// Where the classic form takes relative names: beside the program in
// portable use (a settings file beside it), otherwise the current directory
// (an installed program's directory is no place for the user's files).
std::string plain_form_directory() {
    const SettingsLocation location = SettingsLocation::of_this_program();
    return location.is_portable() ? location.exe_dir : current_directory();
}

// zelvoconverter INPUT OUTPUT.kmz [CONFIG.ini]: always NMEA; the input and
// output in plain_form_directory(), the settings from the current
// directory. Every message names the full paths.
int run_plain_form(int argc, char** argv) {
    const std::string base = plain_form_directory();
    ConversionOptions options;
    std::string input = argv[1];
    std::string output = argv[2];
    std::string config = argc >= 4 ? argv[3] : "";
    if (refuses_terminal(output)) return usage_error(kTerminalRefusal);

    // An absolute path is used as it stands rather than joined behind the
    // directory, where it would name nothing.
    options.input_name = input;
    options.input_path = input == kStandardStream || is_absolute(input) ? input : base + input;
    options.output_path = output == kStandardStream || is_absolute(output) ? output : base + output;
    options.output_name = file_name_part(options.output_path);
    options.config_path = config;
    const std::string settings_path = is_absolute(config) ? config : current_directory() + config;
    bool found = false;
    try {
        load_settings_values(settings_path, SettingsValues::form_initial(), &found).apply_to(options);
    } catch (const std::exception& e) {
        return usage_error(e.what());
    }
    if (found) warn_unreadable_settings(options, settings_path);
    options.input_format = InputFormat::Nmea;
    options.detect_format = false;
    // This form keeps 0 for a log without epochs; the line on stderr says it.
    return convert_to(options, options.input_path, options.output_path, /*quiet=*/true, /*progress=*/true) == kFailed
               ? 1
               : 0;
}

// An output that would replace a file the run reads, or the summary where
// another output goes, is refused before anything is read or written.
int refuse_shared_files(const CommandRequest& request, const std::vector<std::string>& outputs) {
    std::vector<RunFile> files;
    if (!request.config.empty()) files.push_back({request.config, RunFileRole::Input, "the settings file"});
    for (std::size_t i = 0; i < request.inputs.size(); ++i) {
        files.push_back({request.inputs[i], RunFileRole::Input, "a log", static_cast<int>(i)});
        // A merged run's logs share their one archive.
        if (!request.merge || i == 0)
            files.push_back({outputs[i], RunFileRole::Archive, "an archive", static_cast<int>(i)});
    }
    if (!request.summary_path.empty())
        files.push_back({request.summary_path, RunFileRole::Companion, "the summary"});
    // A merged run writes each log's companions, numbered after the first's.
    for (std::size_t k = 0; k < (request.merge ? request.inputs.size() : 1); ++k)
        for (const CompanionFile& f : request.companions)
            files.push_back({numbered_name(f.path, k), RunFileRole::Companion,
                             std::string("the ") + companion_format(f.kind).title + " file"});
    const std::optional<RunFileConflict> conflict = run_files_conflict(files);
    if (!conflict) return kConverted;
    std::fprintf(stderr, "%s: %s: %s\n  (%s)\n", kProgram, phase_text(RunPhase::OutputRefused),
                 conflict->path.c_str(), conflict->reason.c_str());
    return kFailed;
}

// Converts every input of `logs` into their one archive; lines and
// summaries as for single runs, each log's under its name.
int convert_merged(std::vector<ConversionOptions> logs, const CommandRequest& request,
                   std::vector<SummaryEntry>& summaries, std::FILE* lines) {
    const bool from_stdin = std::count(request.inputs.begin(), request.inputs.end(), kStandardStream) > 0;
    CommandLineHost host(file_name_part(request.output), isatty(STDERR_FILENO) != 0, from_stdin);
    MergedRun run;
    if (!run_reported(host, request.output, [&] { run = merge_run(logs, host); })) return kFailed;
    host.end_bar();
    if (run.outcome != RunOutcome::Finished) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, host.status().c_str(),
                     run.outcome == RunOutcome::OutputNotCreated ? request.output.c_str()
                                                                 : shown_input(request.inputs[run.refused_log]).c_str());
        if (!run.reason.empty()) std::fprintf(stderr, "  (%s)\n", run.reason.c_str());
        return kFailed;
    }
    int status = kConverted;
    for (std::size_t k = 0; k < run.logs.size(); ++k) {
        const RunResult& result = run.logs[k];
        const std::string shown = shown_input(request.inputs[k]);
        if (!request.quiet) {
            std::fprintf(lines, "%s: %s -> %s\n", shown.c_str(), count_text(result).c_str(), run.archive_path.c_str());
            std::fputs(format_line(result.format, result.format_recognised).c_str(), lines);
            std::fputs(summary_lines(*result.summary).c_str(), lines);
        }
        summaries.push_back({request.inputs[k], run.archive_path, result.format, *result.summary});
        if (result.epochs == 0) {
            const bool unrecognised = logs[k].detect_format && !result.format_recognised;
            std::fprintf(stderr, "%s: no epoch found (%s)\n", shown.c_str(),
                         unrecognised ? "none of NMEA, TOLV or a solution file was recognised; read as NMEA"
                                      : input_format_row(result.format).no_epoch_hint);
            status = kNoEpoch;
        }
    }
    return status;
}

int run_options_form(int argc, char** argv) {
    CommandRequest request = parse_options(argc, argv);
    if (!request.error.empty()) return usage_error(request.error);
    if (request.help) {
        std::fputs(help_text().c_str(), stdout);
        return 0;
    }
    if (request.version) {
        std::printf("%s 6.0\n", kProgram);
        return 0;
    }

    // Each input's archive: the one named, standard output for standard
    // input, otherwise the input's name with ".kmz".
    std::vector<std::string> outputs;
    for (const std::string& input : request.inputs) {
        outputs.push_back(!request.output.empty()   ? request.output
                          : input == kStandardStream ? kStandardStream
                                                     : input + ".kmz");
        if (refuses_terminal(outputs.back())) return usage_error(kTerminalRefusal);
    }
    if (int status = refuse_shared_files(request, outputs); status != kConverted) return status;

    SettingsValues settings = SettingsValues::built_in_defaults();
    if (!request.config.empty()) {
        std::string reason = unreadable_reason(request.config);
        if (!reason.empty()) return usage_error("cannot read the settings file '" + request.config + "': " + reason);
        try {
            settings = load_settings_values(request.config, SettingsValues::form_initial());
        } catch (const std::exception& e) {
            return usage_error(e.what());
        }
    }
    auto options_for = [&] {
        ConversionOptions options;
        settings.apply_to(options);
        for (const auto& setting : request.settings) setting(options);
        options.input_format = request.format.value_or(InputFormat::Nmea);
        options.detect_format = !request.format;
        options.config_path = request.config;
        options.companions = request.companions;
        return options;
    };
    if (!request.config.empty()) warn_unreadable_settings(options_for(), request.config);

    int status = kConverted;
    std::vector<SummaryEntry> summaries;
    // Standard output carries the summary or a companion when it is its file.
    const bool stdout_taken =
        request.summary_path == kStandardStream ||
        std::any_of(request.companions.begin(), request.companions.end(),
                    [](const CompanionFile& f) { return f.path == kStandardStream; });
    std::FILE* lines = stdout_taken ? stderr : stdout;
    if (request.merge) {
        std::vector<ConversionOptions> logs;
        for (const std::string& input : request.inputs) {
            ConversionOptions options = options_for();
            for (CompanionFile& f : options.companions) f.path = numbered_name(f.path, logs.size());
            options.input_path = input == kStandardStream ? kStandardInputPath : input;
            options.input_name = input == kStandardStream ? shown_input(input) : file_name_part(input);
            options.output_path = request.output;
            options.output_name = file_name_part(request.output);
            logs.push_back(std::move(options));
        }
        status = convert_merged(std::move(logs), request, summaries, lines);
        if (!request.summary_path.empty() && !write_summary_file(request.summary_path, summaries)) status = kFailed;
        return status;
    }
    for (std::size_t i = 0; i < request.inputs.size(); ++i) {
        const std::string& input = request.inputs[i];
        ConversionOptions options = options_for();
        options.input_path = input;
        options.input_name = file_name_part(input);
        options.output_path = outputs[i];
        options.output_name = file_name_part(outputs[i]);
        status = worse(status, convert_to(options, input, outputs[i], request.quiet, !request.quiet, &summaries, lines));
    }
    if (!request.summary_path.empty() && !write_summary_file(request.summary_path, summaries)) status = kFailed;
    return status;
}

}  // namespace

std::string usage_forms() {
    // The leading lines of --help: "Usage: ..." and the lines indented under it.
    const std::string help = help_text();
    std::size_t end = 0;
    while (end < help.size() && (help.compare(end, 7, "Usage: ") == 0 || help.compare(end, 7, "       ") == 0))
        end = help.find('\n', end) + 1;
    return help.substr(0, end);
}

std::string shell_quoted(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                               "0123456789-_./+,:@%") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string no_window_text(int argc, char** argv, const std::string& reason) {
    std::string text = std::string(kProgram) + ": " + reason + ".\n" + usage_forms();
    // A single log name asked for the window with that log: the command
    // that converts it instead ("--" keeps a name beginning with '-' a name).
    if (argc == 2 && argv[1][0] != '\0')
        text += "To convert it: " + std::string(kProgram) + " -- " + shell_quoted(argv[1]) + "\n";
    return text + "Convert from the command line instead: " + kProgram + " --help\n";
}

// A line that could not be written to standard output (a full disk, a
// closed pipe) fails the run, as a lost report would otherwise go unseen.
int close_standard_output(int status) {
    const bool failed_before = std::ferror(stdout) != 0;
    errno = 0;
    const bool failed_now = std::fclose(stdout) != 0;
    if (!failed_before && !failed_now) return status;
    if (errno != 0) std::fprintf(stderr, "%s: write error: %s\n", kProgram, std::strerror(errno));
    else std::fprintf(stderr, "%s: write error\n", kProgram);
    return kFailed;
}

int run_command_line(int argc, char** argv) {
    remove_temporaries_on_interrupt();
    int status = 0;
    switch (command_form(argc, argv)) {
        case CommandForm::Classic: status = run_plain_form(argc, argv); break;
        case CommandForm::Options: status = run_options_form(argc, argv); break;
        case CommandForm::Window: status = usage_error("missing arguments"); break;
    }
    return close_standard_output(status);
}

}  // namespace zelvo
