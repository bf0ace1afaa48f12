// Start-up: two or more arguments convert without a window; fewer open it.
#include <cstdio>

#include "ui/command_line.h"

#ifdef ZELVO_HAVE_WINDOW
#include "ui/window_main.h"
#endif

int main(int argc, char** argv) {
    // The options form starts with a switch; the plain form needs at least
    // an input and an output. A single plain argument is ignored.
    bool options_form = argc >= 2 && argv[1][0] == '-';
    if (options_form || argc >= 3) return zelvo::run_command_line(argc, argv);
#ifdef ZELVO_HAVE_WINDOW
    return zelvo::run_window(argc, argv);
#else
    std::fputs("This build has no window; see zelvoconverter --help\n", stderr);
    return 2;
#endif
}
