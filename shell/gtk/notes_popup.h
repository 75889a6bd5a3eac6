#pragma once
// The notes popup under the bell: an undecorated window that lists the steps waiting on
// the user ("Your turn"); a click on a row hides it and reports the row's frame.
// User-interface thread only; the header bar owns it.
#include <gtk/gtk.h>

#include <functional>
#include <vector>

#include "bridge/port.h"
#include "shell/layout.h"

namespace gtk_shell {

// A hidden popup owned by the window of owner (its toplevel); chosen gets the frame
// number of a clicked row.
GtkWidget* notes_popup_new(GtkWidget* owner, std::function<void(int spot)> chosen);
// Shows the popup for notes under the bell (screen coordinates), with no row hovered.
void notes_popup_show(GtkWidget* popup, const shell::Rect& bell_on_screen,
                      const std::vector<bridge::NoteItem>& notes, int dpi);
// A new notes list while the popup is visible: resized, moved and repainted.
void notes_popup_update(GtkWidget* popup, const shell::Rect& bell_on_screen,
                        const std::vector<bridge::NoteItem>& notes, int dpi);
bool notes_popup_visible(GtkWidget* popup);
void notes_popup_hide(GtkWidget* popup);

// The popup's picture at width × height with row hovered (-1 for none).
void paint_notes_popup(cairo_t* cr, int width, int height, const std::vector<bridge::NoteItem>& notes,
                       int hovered, int dpi);

}  // namespace gtk_shell
