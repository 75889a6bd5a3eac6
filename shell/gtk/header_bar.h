#pragma once
// The header bar across the top of the main window: name, logo, wallet label and
// balance, banner, compass and bell painted on a drawing area, with the Settings,
// Connect and Close buttons over it and the notes popup under the bell. The decisions
// (what the header says, when it repaints, the bell's flashing, the compass wobble, the
// rectangles) come from shell/; this file only draws them. User-interface thread only.
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "bridge/port.h"
#include "shell/header.h"
#include "wallet/state.h"

namespace gtk_shell {

struct HeaderActions {
    std::function<void()> connect_pressed;     // Connect / Disconnect button
    std::function<void()> settings_pressed;
    std::function<void()> close_pressed;
    std::function<void(int spot)> note_chosen;  // a row of the notes popup
};

// The whole header bar: a GtkWidget (drawing area + the three buttons) of height
// shell::header_height for the widget's scale. Owns its state (HeaderState, notes list,
// bell, compass); actions are copied.
GtkWidget* header_bar_new(const HeaderActions& actions);
// Every 800 ms from the main window: runs shell::refresh_header on the snapshot, repaints
// what changed, steps the bell; returns the decision so the caller starts the balance and
// notes refreshes.
shell::HeaderRefresh header_bar_tick(GtkWidget* bar, const wallet::WalletSnapshot& snapshot);
void header_bar_set_notes(GtkWidget* bar, std::vector<bridge::NoteItem> notes);
void header_bar_facing(GtkWidget* bar, const std::string& word, int deg, int delta);  // starts the 32 ms wobble

}  // namespace gtk_shell
