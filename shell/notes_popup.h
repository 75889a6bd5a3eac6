#pragma once
// Geometry of the notes popup under the bell: where it goes and which row a point is on.
#include <cstddef>

#include "shell/layout.h"

namespace shell {

// Width scaled(320); height scaled(40) + scaled(12) + max(1, count) x scaled(34). Its
// right edge lines up with the bell's (both in screen coordinates), its left edge is at
// least scaled(8), its top scaled(6) below the bell.
Rect position_notes_popup(const Rect& bell_on_screen, std::size_t note_count, int dpi);

// The row under popup y, or -1 above the first row and past the last.
int notes_row_at(int y, std::size_t note_count, int dpi);

// The top of row i, where its text is drawn from (scaled(6) lower).
int notes_row_top(int row, int dpi);

}  // namespace shell
