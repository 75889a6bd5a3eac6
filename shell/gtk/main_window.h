#pragma once
// The main window "Quenvale": the header bar over the room, its placement kept in
// window.json, the 800 ms tick (header, balance and notes refreshes, a later start's
// show request) and the one close path (Close button, close box, quit timer, the
// automation session ending): stop taking operations, wait up to 10 s for running
// workers, then quit.
#include <gtk/gtk.h>

#include <string>

#include "shell/gtk/single_instance.h"

namespace gtk_shell {

inline constexpr int TICK_MS = 800;
inline constexpr int CLOSE_WAIT_MS = 10000;

struct MainWindowOptions {
    std::string web_folder;
    std::string data_folder;
    bool automation = false;
    InstanceLock instance;  // the lock this copy holds (empty in automation mode)
};

// Builds and shows the window, installs the port and starts the bridge, the room and the
// update check. Once per process.
GtkWindow* main_window_start(GtkApplication* app, const MainWindowOptions& options);
// Brings the window forward (a later start, or GApplication's activate).
void main_window_present();
// Ends the notes worker after the main loop has returned.
void main_window_finish();

}  // namespace gtk_shell
