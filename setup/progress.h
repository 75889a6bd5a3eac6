#pragma once
// The progress of the one install or removal a setup process runs, read by its window.
// User-interface thread only (the engine runs on it).
#include <string>

namespace setup {

struct Progress {
    std::string status;
    int percent = 0;  // 0 to 100
    bool finished = false;
    bool busy = false;  // set by the window while the engine works
};

Progress& progress();
// Back to the state of a fresh process (tests).
void reset_progress();

// The three choices of the window; all start on.
struct Options {
    bool desktop_shortcut = true;
    bool start_menu = true;
    bool open_when_finished = true;
};

Options& options();
void reset_options();

}  // namespace setup
