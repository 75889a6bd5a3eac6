#pragma once
// The header buttons' CSS (engineer CHROME's; this copy states the agreed interface).
#include <gtk/gtk.h>

namespace gtk_shell {

// Loads the CSS of the header buttons once per screen.
void install_style();

}  // namespace gtk_shell
