#pragma once
// What the setup window looks like on every system: its colours, the layout of its
// client area for a DPI, and the three option rows. The GTK window (setup/gtk) and the
// Windows window (setup/win32) draw from these.
#include <string>

#include "shell/buttons.h"

namespace setup {

using shell::Rgb;

inline constexpr Rgb BACKGROUND{6, 8, 14};
inline constexpr Rgb PANEL{10, 14, 22};
inline constexpr Rgb TICKED{22, 28, 40};
inline constexpr Rgb LINE{36, 52, 72};
inline constexpr Rgb GOLD{212, 175, 55};
inline constexpr Rgb BRIGHT_GOLD{232, 200, 96};
inline constexpr Rgb TEXT{236, 228, 204};
inline constexpr Rgb MUTED{120, 136, 152};
inline constexpr Rgb DARK_TEXT{8, 10, 16};
inline constexpr Rgb NOTICE{140, 112, 40};

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

struct Layout {
    int w = 0, h = 0, margin = 0;
    Box picture, folder, browse, action, progress, status;
    int text_x = 0, notice_y = 0, options_y = 0, row_h = 0, footer_y = 0;
};

// The default client size for a DPI.
int client_width(int dpi);
int client_height(int dpi);
// The layout of a client area of w × h pixels at dpi.
Layout window_layout(int dpi, int w, int h);

inline constexpr int OPTION_ROWS = 3;
std::string option_label(int row);
bool option_value(int row);
void toggle_option(int row);
// The option row at a client point (install mode), -1 for none: within scaled(520) of
// the left margin and inside a row.
int option_row_at(const Layout& l, int dpi, int x, int y);

}  // namespace setup
