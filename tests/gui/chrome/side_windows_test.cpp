// The side windows as real windows on the display: one of each, their sizes, Camera
// writing look.json and showing the chosen options, Settings opening and closing what
// it opened, and the texts drawn on the dark background.
#include "shell/gtk/side_windows.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/files.h"
#include "shell/layout.h"
#include "shell/gtk/style.h"
#include "shell/view_settings.h"
#include "support.h"

namespace {

using chrome_test::Pixel;

struct TempFolder {
    std::string path;
    TempFolder() {
        char tmpl[] = "/tmp/quenvale-chrome-XXXXXX";
        const char* made = ::mkdtemp(tmpl);
        path = made ? made : "";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

::testing::AssertionResult near(const Pixel& p, int r, int g, int b) {
    if (std::abs(p.r - r) <= 6 && std::abs(p.g - g) <= 6 && std::abs(p.b - b) <= 6)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel is (" << p.r << "," << p.g << "," << p.b << ")";
}

bool chosen(GtkWidget* button) {
    return gtk_style_context_has_class(gtk_widget_get_style_context(button), gtk_shell::CHOSEN_CLASS);
}

void close_all() {
    for (const char* title : {"Settings", "Camera", "Terms of use"})
        if (GtkWindow* w = chrome_test::window_titled(title)) gtk_widget_destroy(GTK_WIDGET(w));
    chrome_test::pump();
}

// The drawing area under the buttons of a side window.
GtkWidget* text_area(GtkWindow* window) {
    auto areas = chrome_test::find_widgets(GTK_WIDGET(window), [](GtkWidget* w) { return GTK_IS_DRAWING_AREA(w); });
    return areas.empty() ? nullptr : areas.front();
}

TEST(CameraWindow, WritesLookJsonReportsEveryPressAndShowsTheChosenOptions) {
    TempFolder folder;
    std::string error;
    ASSERT_TRUE(shell::write_look(folder.path, {false, 90}, error)) << error;
    int changes = 0;
    gtk_shell::show_camera_window(nullptr, folder.path, [&] { ++changes; });
    chrome_test::pump();
    GtkWindow* camera = chrome_test::window_titled("Camera");
    ASSERT_NE(camera, nullptr);
    GtkWidget* steady = chrome_test::find_button(GTK_WIDGET(camera), "Steady");
    GtkWidget* quick = chrome_test::find_button(GTK_WIDGET(camera), "Quick");
    GtkWidget* fps90 = chrome_test::find_button(GTK_WIDGET(camera), "90");
    GtkWidget* fps30 = chrome_test::find_button(GTK_WIDGET(camera), "30");
    ASSERT_TRUE(steady && quick && fps90 && fps30);
    EXPECT_TRUE(chosen(steady));
    EXPECT_FALSE(chosen(quick));
    EXPECT_TRUE(chosen(fps90));
    EXPECT_FALSE(chosen(fps30));

    // Quick twice: written and reported twice, stays chosen; the rate is kept.
    gtk_button_clicked(GTK_BUTTON(quick));
    gtk_button_clicked(GTK_BUTTON(quick));
    EXPECT_EQ(changes, 2);
    bridge::LookSettings look = shell::read_look(folder.path);
    EXPECT_TRUE(look.quick);
    EXPECT_EQ(look.fps, 90);
    EXPECT_TRUE(chosen(quick));
    EXPECT_FALSE(chosen(steady));

    // Drawn: the chosen option's border and text are the bright ones.
    chrome_test::settle();
    cairo_surface_t* img = chrome_test::draw_widget(gtk_bin_get_child(GTK_BIN(camera)));
    EXPECT_TRUE(near(chrome_test::pixel_at(img, 190, 126), 212, 175, 55)) << "Quick's border";
    EXPECT_TRUE(near(chrome_test::pixel_at(img, 28, 126), 168, 132, 48)) << "Steady's border";
    EXPECT_TRUE(near(chrome_test::pixel_at(img, 60, 112), 12, 16, 28)) << "Steady's face";
    auto bright_text = [](const Pixel& p) { return p.r > 200 && p.g > 170 && p.g < 225 && p.b > 80 && p.b < 160; };
    EXPECT_GT(chrome_test::count_pixels(img, 200, 112, 130, 28, bright_text), 10);
    EXPECT_EQ(chrome_test::count_pixels(img, 38, 112, 130, 28, bright_text), 0);
    cairo_surface_destroy(img);

    gtk_button_clicked(GTK_BUTTON(fps30));
    look = shell::read_look(folder.path);
    EXPECT_TRUE(look.quick);
    EXPECT_EQ(look.fps, 30);
    EXPECT_TRUE(chosen(fps30));
    EXPECT_FALSE(chosen(fps90));
    EXPECT_EQ(changes, 3);

    // Asking again brings the same window; Close destroys it.
    gtk_shell::show_camera_window(nullptr, folder.path, [] {});
    chrome_test::pump();
    EXPECT_EQ(chrome_test::window_titled("Camera"), camera);
    gtk_button_clicked(GTK_BUTTON(chrome_test::find_button(GTK_WIDGET(camera), "Close")));
    chrome_test::pump();
    EXPECT_EQ(chrome_test::window_titled("Camera"), nullptr);
    close_all();
}

TEST(SettingsWindow, OpensCameraAndTermsThroughItsActionsAndClosesThemWithIt) {
    TempFolder folder;
    int cameras = 0, terms = 0;
    gtk_shell::SettingsActions actions;
    actions.open_camera = [&] {
        ++cameras;
        gtk_shell::show_camera_window(nullptr, folder.path, [] {});
    };
    actions.open_terms = [&] {
        ++terms;
        gtk_shell::show_terms_window(nullptr);
    };
    gtk_shell::show_settings_window(nullptr, actions);
    chrome_test::pump();
    GtkWindow* settings = chrome_test::window_titled("Settings");
    ASSERT_NE(settings, nullptr);
    gtk_button_clicked(GTK_BUTTON(chrome_test::find_button(GTK_WIDGET(settings), "Camera")));
    gtk_button_clicked(GTK_BUTTON(chrome_test::find_button(GTK_WIDGET(settings), "Terms of use")));
    chrome_test::pump();
    EXPECT_EQ(cameras, 1);
    EXPECT_EQ(terms, 1);
    EXPECT_NE(chrome_test::window_titled("Camera"), nullptr);
    EXPECT_NE(chrome_test::window_titled("Terms of use"), nullptr);

    // Closing Settings closes both; opening Settings and Camera again makes a new Camera.
    gtk_button_clicked(GTK_BUTTON(chrome_test::find_button(GTK_WIDGET(settings), "Close")));
    chrome_test::pump();
    EXPECT_EQ(chrome_test::window_titled("Settings"), nullptr);
    EXPECT_EQ(chrome_test::window_titled("Camera"), nullptr);
    EXPECT_EQ(chrome_test::window_titled("Terms of use"), nullptr);
    gtk_shell::show_settings_window(nullptr, actions);
    chrome_test::pump();
    settings = chrome_test::window_titled("Settings");
    ASSERT_NE(settings, nullptr);
    gtk_button_clicked(GTK_BUTTON(chrome_test::find_button(GTK_WIDGET(settings), "Camera")));
    chrome_test::pump();
    EXPECT_NE(chrome_test::window_titled("Camera"), nullptr);
    close_all();
}

TEST(SideWindows, TakeTheirSizesAndDrawTheirTextsOnTheDarkBackground) {
    gtk_shell::show_settings_window(nullptr, {});
    gtk_shell::show_terms_window(nullptr);
    GtkWindow* settings = chrome_test::window_titled("Settings");
    GtkWindow* terms = chrome_test::window_titled("Terms of use");
    ASSERT_TRUE(settings && terms);
    GtkWidget* settings_area = text_area(settings);
    GtkWidget* terms_area = text_area(terms);
    ASSERT_TRUE(settings_area && terms_area);
    chrome_test::settle([&] { return gtk_widget_get_allocated_width(terms_area) == 500; });
    EXPECT_EQ(gtk_widget_get_allocated_width(settings_area), 440);
    EXPECT_EQ(gtk_widget_get_allocated_height(settings_area), 340);
    EXPECT_EQ(gtk_widget_get_allocated_height(terms_area), 620);

    auto gold = [](const Pixel& p) { return p.r > 150 && p.g > 120 && p.b < 90; };
    auto cream = [](const Pixel& p) { return p.r > 170 && p.g > 160 && p.b > 130; };
    cairo_surface_t* s = chrome_test::draw_widget(settings_area);
    const Pixel bg = chrome_test::pixel_at(s, 5, 300);
    EXPECT_EQ(bg.r, 8);
    EXPECT_EQ(bg.g, 12);
    EXPECT_EQ(bg.b, 20);
    EXPECT_GT(chrome_test::count_pixels(s, 28, 18, 150, 36, gold), 30);  // "Settings"
    cairo_surface_destroy(s);

    cairo_surface_t* t = chrome_test::draw_widget(terms_area);
    // The first card (18..482 wide, 86 high) in the card colour, its heading and line.
    const Pixel card = chrome_test::pixel_at(t, 22, 100);
    EXPECT_EQ(card.r, 14);
    EXPECT_EQ(card.g, 22);
    EXPECT_EQ(card.b, 40);
    EXPECT_GT(chrome_test::count_pixels(t, 32, 26, 150, 24, gold), 20);
    EXPECT_GT(chrome_test::count_pixels(t, 32, 52, 300, 20, cream), 30);
    // Between the first and second cards: the background.
    const Pixel gap = chrome_test::pixel_at(t, 100, 18 + 86 + 5);
    EXPECT_EQ(gap.b, 20);
    cairo_surface_destroy(t);
    close_all();
}

}  // namespace
