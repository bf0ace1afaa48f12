// The interactive start: the application and its only window.
#pragma once

class QString;

namespace zelvo {

class TForm1;

// Opens the window, loads the default settings and runs until the window is
// closed. A single argument (argv[1]) is a log to open, as from a file
// manager's "Open with". Returns 0, or 2 when there is no display.
int run_window(int argc, char** argv);

// Sets the log named on the command line exactly as dropping that one file
// on the window does; a relative name is taken from the current directory.
void open_log_argument(TForm1& form, const QString& argument);

}  // namespace zelvo
