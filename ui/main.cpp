// Start-up: two or more arguments, or any option, convert without a window;
// no argument opens the window, and a single log name opens it with that log.
#include <cstdio>

#include "ui/command_line.h"

#ifdef ZELVO_HAVE_WINDOW
#include "ui/window_main.h"
#endif

int main(int argc, char** argv) {
    bool options_form = argc >= 2 && argv[1][0] == '-';
    if (options_form || argc >= 3) return zelvo::run_command_line(argc, argv);
#ifdef ZELVO_HAVE_WINDOW
    return zelvo::run_window(argc, argv);
#else
    std::fprintf(stderr, "zelvoconverter: this build has no window.\n%s"
                 "Convert from the command line instead: zelvoconverter --help\n",
                 zelvo::usage_forms().c_str());
    return 2;
#endif
}
