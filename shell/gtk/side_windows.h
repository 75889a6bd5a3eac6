#pragma once
// The three small dark side windows owned by the main window: Settings (status line,
// Camera, Terms of use), Camera (drag speed and frame rate, written to look.json) and
// Terms of use. One of each at a time; asking for an open one brings it to the front.
// User-interface thread only.
#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace gtk_shell {

// Side windows (modal-less, one of each at a time), parent = the main window.
struct SettingsActions {
    std::function<void()> open_camera, open_terms;
};
void show_settings_window(GtkWindow* parent, const SettingsActions& actions);
// Changes look.json in data_folder and calls look_changed (the main window then runs bridge::send_look).
void show_camera_window(GtkWindow* parent, const std::string& data_folder, std::function<void()> look_changed);
void show_terms_window(GtkWindow* parent);

// The Settings window repaints its status line (an update was announced).
void refresh_settings_window();

}  // namespace gtk_shell
