// The header bar drawn offscreen at 96 dpi in a 1280 x 800 client area: background,
// texts, the bell and its badge in each state, the compass dial turning, the buttons
// placed and styled, the bell opening the notes popup and a row reporting its frame.
#include "shell/gtk/header_bar.h"
#include "shell/gtk/notes_popup.h"

#include <gtest/gtest.h>

#include "shell/layout.h"
#include "shell/notes_popup.h"
#include "support.h"

namespace {

using chrome_test::Pixel;

constexpr int CLIENT_W = 1280;
constexpr int CLIENT_H = 800;

struct Fixture {
    GtkWidget* window = nullptr;
    GtkWidget* bar = nullptr;
    std::vector<int> chosen;
    int connects = 0;
    shell::MainLayout layout = shell::layout_main(CLIENT_W, CLIENT_H, 96);

    Fixture() {
        gtk_shell::HeaderActions actions;
        actions.connect_pressed = [this] { ++connects; };
        actions.note_chosen = [this](int spot) { chosen.push_back(spot); };
        bar = header_bar_new(actions);
        window = gtk_offscreen_window_new();
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_widget_set_size_request(box, CLIENT_W, CLIENT_H);
        gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
        GtkWidget* rest = gtk_drawing_area_new();
        gtk_box_pack_start(GTK_BOX(box), rest, TRUE, TRUE, 0);
        gtk_container_add(GTK_CONTAINER(window), box);
        gtk_widget_show_all(window);
        chrome_test::settle([this] {
            return gtk_widget_get_allocated_height(bar) == layout.header.height() &&
                   gtk_widget_get_allocated_width(bar) == CLIENT_W;
        });
    }
    ~Fixture() {
        gtk_widget_destroy(window);
        chrome_test::pump();
    }

    GtkWidget* area() const { return gtk_bin_get_child(GTK_BIN(bar)); }
};

wallet::WalletSnapshot connected() {
    wallet::WalletSnapshot s;
    s.loaded = true;
    s.hd = true;
    s.address = "1BfVexampleaddress";
    s.paymail = "alice@devnet.quenvale.test";
    s.balance = 123456789;
    return s;
}

std::vector<bridge::NoteItem> three_notes() {
    return {{2, "AP2. Accept the ask."}, {5, "AP5. Complete the sale."}, {9, "AP9. Pay for this piece."}};
}

bool near(const Pixel& p, int r, int g, int b, int tolerance = 6) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

::testing::AssertionResult is_colour(const Pixel& p, int r, int g, int b, int tolerance = 6) {
    if (near(p, r, g, b, tolerance)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel is (" << p.r << "," << p.g << "," << p.b << ") not (" << r << ","
                                         << g << "," << b << ")";
}

// A point inside the bell's body (the picture's middle) and one in the badge disc right
// of its text, where the bell picture is transparent.
struct BellPoints {
    int body_x, body_y, badge_x, badge_y;
};
BellPoints bell_points(const shell::Rect& bell) {
    const int d = shell::scaled(16, 96);
    return {bell.left + bell.width() / 2, bell.top + bell.height() * 45 / 96, bell.right - 4,
            bell.top + 1 + d / 2};
}

TEST(HeaderBar, TakesTheHeaderHeightAndPlacesTheButtonsAtTheLayoutRectangles) {
    Fixture f;
    EXPECT_EQ(gtk_widget_get_allocated_height(f.bar), f.layout.header.height());
    EXPECT_EQ(gtk_widget_get_allocated_width(f.bar), CLIENT_W);
    GtkWidget* connect = chrome_test::find_button(f.bar, "Connect");
    GtkWidget* close = chrome_test::find_button(f.bar, "Close");
    ASSERT_NE(connect, nullptr);
    ASSERT_NE(close, nullptr);
    GtkAllocation a;
    gtk_widget_get_allocation(connect, &a);
    EXPECT_EQ(shell::rect_at(a.x, a.y, a.width, a.height), f.layout.connect_button);
    gtk_widget_get_allocation(close, &a);
    EXPECT_EQ(shell::rect_at(a.x, a.y, a.width, a.height), f.layout.close_button);
}

TEST(HeaderBar, FollowsTheWindowsHeightAndWidthWhenTheWindowIsResized) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    GtkWidget* bar = gtk_shell::header_bar_new({});
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), gtk_drawing_area_new(), TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_window_set_default_size(GTK_WINDOW(window), 1280, 800);
    gtk_widget_show_all(window);
    auto laid_out = [&](int w, int h) {
        return [=] {
            const shell::MainLayout l = shell::layout_main(w, h, 96);
            GtkWidget* close = chrome_test::find_button(bar, "Close");
            GtkAllocation a;
            gtk_widget_get_allocation(close, &a);
            return gtk_widget_get_allocated_height(bar) == l.header.height() &&
                   gtk_widget_get_allocated_width(bar) == w && a.x == l.close_button.left &&
                   a.y == l.close_button.top;
        };
    };
    // 800 high: 26 % is 208, less 38 gives 170; 1000 high gives 222 (the 280 cap - 38 is
    // 242 only from 1077 up).
    EXPECT_TRUE(chrome_test::settle(laid_out(1280, 800)));
    EXPECT_EQ(gtk_widget_get_allocated_height(bar), 170);
    gtk_window_resize(GTK_WINDOW(window), 1000, 1000);
    EXPECT_TRUE(chrome_test::settle(laid_out(1000, 1000)));
    EXPECT_EQ(gtk_widget_get_allocated_height(bar), 222);
    gtk_widget_destroy(window);
    chrome_test::pump();
}

TEST(HeaderBar, PaintsBackgroundTextsAndTheButtonFaces) {
    Fixture f;
    const shell::HeaderRefresh r = gtk_shell::header_bar_tick(f.bar, connected());
    EXPECT_TRUE(r.repaint);
    EXPECT_EQ(r.button_text, "Disconnect");
    EXPECT_NE(chrome_test::find_button(f.bar, "Disconnect"), nullptr);
    chrome_test::settle();
    cairo_surface_t* image = chrome_test::draw_widget(f.bar);
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(image, 5, 5), 198, 193, 187));
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(image, 400, f.layout.header.height() - 3), 198, 193, 187));
    const int h = f.layout.header.height();
    const int text_x = 18 + 74 + 14;
    const int y0 = (h - 58) / 2;
    auto dark = [](const Pixel& p) { return p.r < 110 && p.g < 100 && p.b < 90; };
    // The name in brown, the label in dark text: each leaves dark ink in its line.
    EXPECT_GT(chrome_test::count_pixels(image, text_x, y0 + 26, 220, 18, dark), 40);
    auto brown = [](const Pixel& p) { return p.r > 100 && p.r < 150 && p.g > 60 && p.g < 100 && p.b < 50; };
    EXPECT_GT(chrome_test::count_pixels(image, text_x, y0, 200, 26, brown), 30);
    // The balance line exists below the label.
    auto ink = [](const Pixel& p) { return p.r < 160 && p.g < 140; };
    EXPECT_GT(chrome_test::count_pixels(image, text_x, y0 + 44, 160, 16, ink), 20);
    // The Connect button's face in the button colours, not the theme's.
    const shell::Rect& c = f.layout.connect_button;
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(image, c.left + 5, c.top + 5), 12, 16, 28));
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(image, c.left, c.top + c.height() / 2), 168, 132, 48));
    cairo_surface_destroy(image);

    // Hovered: the hover face and a bright border two pixels wide.
    GtkWidget* close = chrome_test::find_button(f.bar, "Close");
    gtk_widget_set_state_flags(close, GTK_STATE_FLAG_PRELIGHT, FALSE);
    chrome_test::settle();
    image = chrome_test::draw_widget(f.bar);
    const shell::Rect& k = f.layout.close_button;
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(image, k.left + 5, k.top + 5), 36, 30, 16));
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(image, k.left + 1, k.top + k.height() / 2), 212, 175, 55));
    cairo_surface_destroy(image);

    // Nothing changed: no repaint asked; disconnected: the label and button go back.
    EXPECT_FALSE(gtk_shell::header_bar_tick(f.bar, connected()).repaint);
    const shell::HeaderRefresh off = gtk_shell::header_bar_tick(f.bar, wallet::WalletSnapshot{});
    EXPECT_TRUE(off.repaint);
    EXPECT_NE(chrome_test::find_button(f.bar, "Connect"), nullptr);
}

TEST(HeaderBar, BellIsPlainWithoutNotesGoldWhenLitRedWhenNotAndCarriesTheBadge) {
    Fixture f;
    const BellPoints p = bell_points(f.layout.bell_rect);
    cairo_surface_t* plain = chrome_test::draw_widget(f.bar);
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(plain, p.body_x, p.body_y), 200, 170, 100));
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(plain, p.badge_x, p.badge_y), 198, 193, 187));
    cairo_surface_destroy(plain);

    gtk_shell::header_bar_set_notes(f.bar, three_notes());  // a first note lights the bell
    chrome_test::settle();
    cairo_surface_t* lit = chrome_test::draw_widget(f.bar);
    // 200,170,100 through the gold matrix: 238,195,77.
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(lit, p.body_x, p.body_y), 238, 195, 77, 4));
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(lit, p.badge_x, p.badge_y), 176, 48, 36));
    // The badge's count is light text on the disc.
    const int d = shell::scaled(16, 96);
    const int cx = f.layout.bell_rect.right - 1 - d / 2;
    const int cy = f.layout.bell_rect.top + 1 + d / 2;
    auto light = [](const Pixel& q) { return q.r > 220 && q.g > 200 && q.b > 180; };
    EXPECT_GT(chrome_test::count_pixels(lit, cx - 4, cy - 5, 8, 10, light), 3);
    cairo_surface_destroy(lit);

    // Two ticks lit of six: the second tick puts it out (red).
    gtk_shell::header_bar_tick(f.bar, wallet::WalletSnapshot{});
    gtk_shell::header_bar_tick(f.bar, wallet::WalletSnapshot{});
    chrome_test::settle();
    cairo_surface_t* red = chrome_test::draw_widget(f.bar);
    // 200,170,100 through the red matrix: 255,41,18.
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(red, p.body_x, p.body_y), 255, 41, 18, 4));
    cairo_surface_destroy(red);

    gtk_shell::header_bar_set_notes(f.bar, {});
    chrome_test::settle();
    cairo_surface_t* cleared = chrome_test::draw_widget(f.bar);
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(cleared, p.body_x, p.body_y), 200, 170, 100));
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(cleared, p.badge_x, p.badge_y), 198, 193, 187));
    cairo_surface_destroy(cleared);
}

TEST(HeaderBar, FacingTurnsTheDialSoTheFacingDirectionIsAtTheTop) {
    Fixture f;
    const shell::Rect& c = f.layout.compass_rect;
    const double r = c.height() / 2.0 - 1;
    const int cx = c.left + c.width() / 2;
    const int cy = c.top + c.height() / 2;
    const int reach = static_cast<int>(0.52 * r);
    const int box = static_cast<int>(0.3 * r);
    auto red_letter = [](const Pixel& p) { return p.r > 130 && p.g < 70 && p.b < 70; };
    auto left_red = [&](cairo_surface_t* img) {
        return chrome_test::count_pixels(img, cx - reach - box / 2, cy - box / 2, box, box, red_letter);
    };
    cairo_surface_t* before = chrome_test::draw_widget(f.bar);
    EXPECT_EQ(left_red(before), 0);  // W sits there, in dark ink
    cairo_surface_destroy(before);

    // Facing east: the dial turns by -90, north goes to the left.
    gtk_shell::header_bar_facing(f.bar, "E", 90, 90);
    chrome_test::pump_for(1500);  // the wobble settles and its timer stops
    cairo_surface_t* after = chrome_test::draw_widget(f.bar);
    EXPECT_GT(left_red(after), 5);
    cairo_surface_destroy(after);
}

TEST(HeaderBar, BellClickTogglesThePopupAndARowReportsItsFrame) {
    Fixture f;
    gtk_shell::header_bar_set_notes(f.bar, three_notes());
    const shell::Rect& bell = f.layout.bell_rect;
    EXPECT_TRUE(chrome_test::visible_windows(GTK_WINDOW_POPUP).empty());
    chrome_test::click(f.area(), bell.left + bell.width() / 2, bell.top + bell.height() / 2);
    chrome_test::pump();
    auto popups = chrome_test::visible_windows(GTK_WINDOW_POPUP);
    ASSERT_EQ(popups.size(), 1u);
    GtkWidget* popup = GTK_WIDGET(popups.front());
    EXPECT_EQ(gtk_widget_get_allocated_width(popup), shell::scaled(320, 96));
    EXPECT_EQ(gtk_widget_get_allocated_height(popup), 40 + 12 + 3 * 34);

    // A second click on the bell hides it; a third shows it again.
    chrome_test::click(f.area(), bell.left + 3, bell.top + 3);
    chrome_test::pump();
    EXPECT_TRUE(chrome_test::visible_windows(GTK_WINDOW_POPUP).empty());
    chrome_test::click(f.area(), bell.left + 3, bell.top + 3);
    chrome_test::pump();
    ASSERT_EQ(chrome_test::visible_windows(GTK_WINDOW_POPUP).size(), 1u);

    // A click above the rows does nothing; on the second row it reports AP5 and hides.
    GtkWidget* rows = gtk_bin_get_child(GTK_BIN(popup));
    chrome_test::click(rows, 40, 20);
    chrome_test::pump();
    EXPECT_TRUE(f.chosen.empty());
    chrome_test::click(rows, 40, shell::notes_row_top(1, 96) + 10);
    chrome_test::pump();
    EXPECT_EQ(f.chosen, std::vector<int>{5});
    EXPECT_TRUE(chrome_test::visible_windows(GTK_WINDOW_POPUP).empty());
    // A click outside the bell does not open it.
    chrome_test::click(f.area(), bell.left - 20, bell.top + 3);
    chrome_test::pump();
    EXPECT_TRUE(chrome_test::visible_windows(GTK_WINDOW_POPUP).empty());
}

TEST(HeaderBar, PopupPaintsTheEmptyTextOrTheRowsWithTheHoveredFill) {
    const int w = shell::scaled(320, 96);
    auto paint = [w](const std::vector<bridge::NoteItem>& notes, int hovered) {
        const int h = shell::position_notes_popup(shell::rect_at(900, 40, 46, 46), notes.size(), 96).height();
        cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(img);
        gtk_shell::paint_notes_popup(cr, w, h, notes, hovered, 96);
        cairo_destroy(cr);
        cairo_surface_flush(img);
        return img;
    };
    auto soft = [](const Pixel& p) { return p.r > 140 && p.r < 190 && p.g > 125 && p.g < 170 && p.b > 70 && p.b < 120; };
    cairo_surface_t* empty = paint({}, -1);
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(empty, 5, 60), 10, 18, 36));
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(empty, 0, 30), 212, 175, 55));  // gold outline
    EXPECT_GT(chrome_test::count_pixels(empty, 14, 46, 200, 18, soft), 20);
    cairo_surface_destroy(empty);

    cairo_surface_t* rows = paint(three_notes(), 1);
    const int top1 = shell::notes_row_top(1, 96);
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(rows, 10, top1 + 2), 28, 40, 64));      // hovered row
    EXPECT_TRUE(is_colour(chrome_test::pixel_at(rows, 10, shell::notes_row_top(0, 96) + 2), 10, 18, 36));
    auto cream = [](const Pixel& p) { return p.r > 180 && p.g > 170 && p.b > 140; };
    EXPECT_GT(chrome_test::count_pixels(rows, 14, shell::notes_row_top(2, 96) + 6, 200, 18, cream), 20);
    cairo_surface_destroy(rows);
}

}  // namespace
