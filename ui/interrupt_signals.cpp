#include "ui/interrupt_signals.h"

#include <signal.h>
#include <unistd.h>

#include "output/temporary_files.h"

namespace zelvo {

namespace {

extern "C" void on_interrupt(int signal_number) {
    remove_temporary_files_now();
    ::_exit(128 + signal_number);
}

}  // namespace

void remove_temporaries_on_interrupt() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    // One clean-up at a time: the other two signals wait for the first.
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, s);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the starting program was told to ignore (nohup) stays ignored.
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(s, &action, nullptr);
    }
}

}  // namespace zelvo
