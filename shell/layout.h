#pragma once
// Layout arithmetic of the main window, in pixels at a given DPI: the shell's scaled
// unit, the header height, every rectangle layout_main places, and where the window
// opens. Pure functions; the backends move their widgets to what these return.
#include <cstdint>
#include <vector>

#include "shell/view_settings.h"

namespace shell {

// Edges as the window systems give them: right and bottom are one past the last pixel.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};
Rect rect_at(int x, int y, int width, int height);

inline constexpr int BASE_DPI = 96;

// n x dpi / 96 rounded half away from zero, as MulDiv rounds (negative n too); -1 when
// the result does not fit an int or dpi is not positive, as MulDiv answers an overflow.
int scaled(int n, int dpi);

// The header bar's height for the main window's client height (a height of 80 or less,
// a window not laid out yet, counts as 900): 26 % of it kept between scaled(150) and
// scaled(280), capped at half the height, less scaled(38), at least scaled(142).
int header_height(int client_height, int dpi);

struct MainLayout {
    Rect header;           // the header bar, across the top
    Rect web_view;         // below the header to the bottom (never negative height)
    Rect settings_button;  // the picture button, top right
    Rect connect_button;
    Rect close_button;
    Rect bell_rect;        // header bar coordinates, left of the buttons
    Rect compass_rect;     // header bar coordinates, left of the bell
};
MainLayout layout_main(int client_width, int client_height, int dpi);

// The start-up size and place when no saved placement is used: 61 % x 64 % of the work
// area (integer arithmetic), centred in it.
Rect centred_window(const Rect& work_area);

// How much of a saved window must lie on one work area, each way, for it to be restored
// there, and its top edge (where the title bar is) must lie on that area: a placement
// saved on a monitor that is gone would open out of reach.
inline constexpr int MIN_ON_WORK_AREA = 64;
bool on_work_area(const Rect& window, const std::vector<Rect>& work_areas);

// Where the main window opens: the saved placement when it is valid and on a work area
// (maximised when it was), else centred on the work area under the cursor, not
// maximised.
struct StartPlacement {
    Rect normal;
    bool maximise = false;
    bool restored = false;  // true when the saved placement was used
};
StartPlacement start_placement(const WindowPlacement& saved, const std::vector<Rect>& work_areas,
                               const Rect& cursor_work_area);

}  // namespace shell
