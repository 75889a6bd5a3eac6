#pragma once
// Settings, Camera and Terms (engineer CHROME's; this copy states the agreed interface).
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

}  // namespace gtk_shell
