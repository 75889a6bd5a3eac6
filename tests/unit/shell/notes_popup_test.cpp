// Where the notes popup opens under the bell and which row a point is on.
#include "shell/notes_popup.h"

#include <gtest/gtest.h>

namespace {

using shell::Rect;

TEST(NotesPopup, SizeAndPlaceUnderTheBell) {
    struct Case {
        std::size_t notes;
        int dpi;
        Rect bell;
        Rect want;
    };
    const Case cases[] = {
        {10, 96, {1500, 100, 1546, 146}, {1226, 152, 1546, 152 + 392}},  // 40 + 12 + 10 x 34
        {1, 96, {1500, 100, 1546, 146}, {1226, 152, 1546, 152 + 86}},
        {0, 96, {1500, 100, 1546, 146}, {1226, 152, 1546, 152 + 86}},  // room for the "nothing" line
        {10, 144, {2000, 30, 2069, 99}, {1589, 108, 2069, 108 + 60 + 18 + 510}},
        {3, 96, {200, 10, 246, 56}, {8, 62, 328, 62 + 154}},  // held off the screen's left edge
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shell::position_notes_popup(c.bell, c.notes, c.dpi), c.want) << c.notes << " at " << c.dpi;
    }
}

TEST(NotesPopup, RowAt) {
    struct Case {
        int y;
        std::size_t notes;
        int dpi;
        int want;
    };
    const Case cases[] = {
        {-5, 3, 96, -1}, {39, 3, 96, -1}, {40, 3, 96, 0},  {73, 3, 96, 0}, {74, 3, 96, 1},
        {141, 3, 96, 2}, {142, 3, 96, -1}, {50, 0, 96, -1}, {59, 3, 144, -1}, {60, 3, 144, 0},
        {111, 3, 144, 1}, {366, 10, 96, 9}, {1000000, 10, 96, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(shell::notes_row_at(c.y, c.notes, c.dpi), c.want) << c.y;
}

}  // namespace
