#pragma once
// The update check (engineer CHROME's; this copy states the agreed interface).
#include <gtk/gtk.h>

namespace gtk_shell {

// Starts the update check on its own thread; a newer version is asked about on the main
// window's thread and Yes opens the download page.
void start_update_check(GtkWindow* parent);

}  // namespace gtk_shell
