// Start-up: a command line converts without a window; no argument, or a
// single name, opens it.
#include <cstdio>

#include "ui/command_line.h"
#include "ui/command_options.h"

#ifdef ZELVO_HAVE_WINDOW
#include "ui/window_main.h"
#endif

int main(int argc, char** argv) {
    if (zelvo::command_form(argc, argv) != zelvo::CommandForm::Window)
        return zelvo::run_command_line(argc, argv);
#ifdef ZELVO_HAVE_WINDOW
    return zelvo::run_window(argc, argv);
#else
    std::fputs(zelvo::no_window_text(argc, argv, "this build has no window").c_str(), stderr);
    return 2;
#endif
}
