// The unattended command-line mode.
#pragma once

#include <string>

namespace zelvo {

// Runs the command line given to the program (argv[0] is the program) in
// its classic or options form (command_options.h).
// Returns the exit status: 0 every input converted, 1 a conversion failed,
// 2 a usage error, 3 converted but an input gave no epoch (options form
// only; a failure wins over it).
int run_command_line(int argc, char** argv);

// The lines of the usage text that show the command-line forms.
std::string usage_forms();

// What the program says when it is asked for the window and cannot open it
// (`reason`): the command-line forms and, for a single log name, the
// command that converts that log.
std::string no_window_text(int argc, char** argv,
                           const std::string& reason = "there is no display to open the window on");

// `word` as a POSIX shell reads it back: unchanged when it is plain,
// otherwise in single quotes.
std::string shell_quoted(const std::string& word);

}  // namespace zelvo
