#include "shell/notes_popup.h"

#include <algorithm>

namespace shell {

namespace {
constexpr int HEAD = 40;      // title and rule above the first row
constexpr int ROW = 34;
constexpr int FOOT = 12;
constexpr int WIDTH = 320;
constexpr int MARGIN = 8;     // from the screen's left edge
constexpr int GAP = 6;        // below the bell
// A list holds at most one note per frame; a longer one is still bounded on screen.
constexpr std::size_t MAX_ROWS = 64;
}  // namespace

Rect position_notes_popup(const Rect& bell_on_screen, std::size_t note_count, int dpi) {
    const int rows = static_cast<int>(std::clamp<std::size_t>(note_count, 1, MAX_ROWS));
    const int width = scaled(WIDTH, dpi);
    const int height = scaled(HEAD, dpi) + scaled(FOOT, dpi) + rows * scaled(ROW, dpi);
    const int left = std::max(bell_on_screen.right - width, scaled(MARGIN, dpi));
    return rect_at(left, bell_on_screen.bottom + scaled(GAP, dpi), width, height);
}

int notes_row_at(int y, std::size_t note_count, int dpi) {
    const int head = scaled(HEAD, dpi);
    const int row = scaled(ROW, dpi);
    if (y < head || row <= 0) return -1;
    const int index = (y - head) / row;
    return static_cast<std::size_t>(index) < note_count ? index : -1;
}

int notes_row_top(int row, int dpi) { return scaled(HEAD, dpi) + row * scaled(ROW, dpi); }

}  // namespace shell
