// The interactive start: the application and its only window.
#pragma once

namespace zelvo {

// Opens the window, loads the default settings and runs until the window is
// closed. Returns 0.
int run_window(int argc, char** argv);

}  // namespace zelvo
