// What the program does when it is told to stop (Ctrl-C, kill, a closed
// terminal) while it converts.
#pragma once

namespace zelvo {

// From here on SIGINT, SIGTERM and SIGHUP remove the run's temporary
// archive and end the program with 128 + the signal's number (130, 143,
// 129). The previous archive is never touched before the new one is
// complete, so it stays.
void remove_temporaries_on_interrupt();

}  // namespace zelvo
