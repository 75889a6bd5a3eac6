// The main window's layout arithmetic at the DPIs the shell meets, and where the window
// opens.
#include "shell/layout.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using shell::Rect;

TEST(Layout, ScaledRoundsHalfAwayFromZeroLikeMulDiv) {
    struct Case {
        int n, dpi, want;
    };
    const Case cases[] = {
        {10, 96, 10},   {15, 120, 19},  {15, 144, 23},  {15, 192, 30}, {46, 120, 58},  // 57.5
        {1, 144, 2},    {-1, 144, -2},  {-15, 144, -23}, {-46, 120, -58}, {3, 120, 4},  // 3.75
        {1, 120, 1},    {-1, 120, -1},  {0, 144, 0},    {104, 144, 156}, {900, 192, 1800},
        {7, 72, 5},     {-7, 72, -5},   // 5.25
        {INT_MAX, 192, -1}, {INT_MIN, 192, -1}, {12, 0, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(shell::scaled(c.n, c.dpi), c.want) << c.n << " at " << c.dpi;
}

TEST(Layout, HeaderHeight) {
    struct Case {
        int client_height, dpi, want;
    };
    const Case cases[] = {
        {600, 96, 142},   // b = 156, k = 118, raised to the minimum
        {1000, 96, 222},  // b = 260
        {1200, 96, 242},  // b lowered to 280
        {50, 96, 196},    // treated as 900
        {80, 96, 196},
        {81, 96, 142},
        {0, 96, 196},
        {800, 96, 170},
        {1000, 144, 213},  // b = 260 within 225..420, k = 203, raised to scaled(142)
        {2000, 192, 444},  // b = 520 within 300..560
        {600, 192, 284},   // b raised to 300, k = 224, raised to 284
    };
    for (const Case& c : cases) EXPECT_EQ(shell::header_height(c.client_height, c.dpi), c.want)
        << c.client_height << " at " << c.dpi;
}

TEST(Layout, MainRectanglesAt96Dpi) {
    const shell::MainLayout l = shell::layout_main(1280, 800, 96);
    EXPECT_EQ(l.header, (Rect{0, 0, 1280, 170}));
    EXPECT_EQ(l.web_view, (Rect{0, 170, 1280, 800}));
    EXPECT_EQ(l.settings_button, (Rect{1220, 20, 1266, 66}));
    EXPECT_EQ(l.connect_button, (Rect{1166, 74, 1266, 108}));
    EXPECT_EQ(l.close_button, (Rect{1166, 116, 1266, 150}));
    EXPECT_EQ(l.bell_rect, (Rect{1166, 20, 1212, 66}));
    EXPECT_EQ(l.compass_rect, (Rect{1044, 33, 1148, 137}));

    // A window lower than its header: the web view is empty, never upside down.
    const shell::MainLayout tiny = shell::layout_main(700, 100, 96);
    EXPECT_EQ(tiny.header.height(), 142);
    EXPECT_EQ(tiny.web_view, (Rect{0, 142, 700, 142}));
    EXPECT_EQ(tiny.settings_button.top, 6);  // T = (142 - 16 - 68 - 46) / 2 = 6
}

TEST(Layout, PiecesStayApartAndInsideTheHeaderAtEveryDpi) {
    for (int dpi : {96, 120, 144, 192}) {
        for (int height : {100, 600, 800, 1200, 2400}) {
            const shell::MainLayout l = shell::layout_main(1600, height, dpi);
            SCOPED_TRACE(testing::Message() << dpi << " dpi, height " << height);
            EXPECT_EQ(l.header.height(), shell::header_height(height, dpi));
            EXPECT_EQ(l.web_view.top, l.header.bottom);
            for (const Rect& r : {l.settings_button, l.connect_button, l.close_button, l.bell_rect, l.compass_rect}) {
                EXPECT_GE(r.top, 0);
                EXPECT_LE(r.bottom, l.header.bottom);
                EXPECT_LE(r.right, l.header.right);
            }
            EXPECT_EQ(l.settings_button.width(), shell::scaled(46, dpi));
            EXPECT_EQ(l.compass_rect.width(), shell::scaled(104, dpi));
            EXPECT_LE(l.bell_rect.right, l.settings_button.left);
            EXPECT_LE(l.bell_rect.bottom, l.connect_button.top);
            EXPECT_LE(l.connect_button.bottom, l.close_button.top);
            EXPECT_EQ(l.compass_rect.right + shell::scaled(18, dpi), l.bell_rect.left);
            EXPECT_EQ(l.settings_button.right, 1600 - shell::scaled(14, dpi));
        }
    }
}

TEST(Layout, CentredAtSixtyOneBySixtyFourPercent) {
    EXPECT_EQ(shell::centred_window(Rect{0, 0, 1920, 1040}), (Rect{374, 187, 374 + 1171, 187 + 665}));
    // A second monitor to the left, with a task bar on top.
    EXPECT_EQ(shell::centred_window(Rect{-1280, 40, 0, 1024}), (Rect{-1030, 217, -1030 + 780, 217 + 629}));
}

TEST(Layout, SavedPlacementIsRestoredOnlyOnAWorkArea) {
    const std::vector<Rect> areas = {Rect{0, 0, 1920, 1040}, Rect{1920, 0, 3200, 1024}};
    const Rect cursor_area = areas[0];
    auto saved = [](int left, int top, int right, int bottom, bool max) {
        shell::WindowPlacement p;
        p.left = left;
        p.top = top;
        p.right = right;
        p.bottom = bottom;
        p.max = max;
        p.valid = right - left >= 640 && bottom - top >= 480;
        return p;
    };
    struct Case {
        const char* name;
        shell::WindowPlacement placement;
        bool restored;
    };
    const Case cases[] = {
        {"on the first monitor, maximised", saved(100, 100, 1300, 900, true), true},
        {"on the second monitor", saved(2000, 50, 2800, 700, false), true},
        {"across both", saved(1500, 50, 2500, 700, false), true},
        {"on a monitor that is gone", saved(5000, 100, 5800, 700, false), false},
        {"only 63 pixels on screen", saved(3137, 100, 3937, 700, false), false},
        {"64 pixels on the right edge", saved(3136, 100, 3936, 700, false), true},
        {"title bar above the screen", saved(100, -200, 900, 700, false), false},
        {"invalid in the file", shell::WindowPlacement{}, false},
    };
    for (const Case& c : cases) {
        const auto start = shell::start_placement(c.placement, areas, cursor_area);
        EXPECT_EQ(start.restored, c.restored) << c.name;
        if (c.restored) {
            EXPECT_EQ(start.normal, (Rect{c.placement.left, c.placement.top, c.placement.right, c.placement.bottom}))
                << c.name;
            EXPECT_EQ(start.maximise, c.placement.max) << c.name;
        } else {
            EXPECT_EQ(start.normal, shell::centred_window(cursor_area)) << c.name;
            EXPECT_FALSE(start.maximise) << c.name;
        }
    }
    // No work areas known: nothing is on one.
    EXPECT_FALSE(shell::start_placement(saved(100, 100, 1300, 900, true), {}, cursor_area).restored);
}

}  // namespace
