#include "setup/gtk/window.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>

#include "platform/folders.h"
#include "setup/engine.h"
#include "setup/look.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/table.h"
#include "shell/gtk/style.h"
#include "shell/layout.h"

namespace setup_gtk {

namespace {

using shell::Rgb;

using setup::BACKGROUND;
using setup::BRIGHT_GOLD;
using setup::DARK_TEXT;
using setup::GOLD;
using setup::LINE;
using setup::MUTED;
using setup::PANEL;
using setup::TEXT;
using setup::TICKED;

// DejaVu and Liberation stand in where Segoe UI and Consolas are missing.
constexpr const char* BODY_FAMILY = "Segoe UI, DejaVu Sans, Liberation Sans, sans-serif";
constexpr const char* LABEL_FAMILY = "Consolas, DejaVu Sans Mono, Liberation Mono, monospace";

// Test-only (--automation): a request file beside this path makes the window write a PNG
// of itself there.
constexpr const char* SHOT_VARIABLE = "QUENVALE_SETUP_SHOT";
constexpr int SHOT_POLL_MS = 100;

struct Ui {
    setup::CommandLine command_line;
    GtkWidget* window = nullptr;
    GtkWidget* fixed = nullptr;
    GtkWidget* area = nullptr;
    GtkWidget* entry = nullptr;
    GtkWidget* browse = nullptr;
    GtkWidget* action = nullptr;
    GtkWidget* status = nullptr;
    int dpi = shell::BASE_DPI;
    bool removal = false;
    bool install_done = false;    // the action button reads CLOSE
    gint64 done_at_us = 0;        // when it began to (monotonic clock)
    bool close_requested = false;  // closed while the engine worked
    std::string last_status;
    GdkRectangle wallet_link{};
    GdkRectangle program_link{};
};

Ui& ui() {
    static Ui u;
    return u;
}

int S(int n) { return shell::scaled(n, ui().dpi); }

// The fonts' heights are cell heights; Pango sizes the em, about four fifths of it.
int font_px(int cell) { return S(cell) * 4 / 5; }

gtk_shell::TextStyle body(Rgb colour) { return {BODY_FAMILY, font_px(22), false, colour}; }
gtk_shell::TextStyle title(Rgb colour) { return {BODY_FAMILY, font_px(42), true, colour}; }
gtk_shell::TextStyle label(Rgb colour) { return {LABEL_FAMILY, font_px(18), true, colour}; }
gtk_shell::TextStyle small(Rgb colour) { return {BODY_FAMILY, font_px(16), false, colour}; }

setup::Layout layout() { return setup::window_layout(ui().dpi, setup::client_width(ui().dpi), setup::client_height(ui().dpi)); }

void rounded(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -G_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, G_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, G_PI / 2, G_PI);
    cairo_arc(cr, x + r, y + r, r, G_PI, 3 * G_PI / 2);
    cairo_close_path(cr);
}

// Draws one line and answers its rectangle; underlined for an address.
GdkRectangle text_at(cairo_t* cr, const gtk_shell::TextStyle& style, const std::string& text, int x,
                     int y, bool underline = false) {
    PangoLayout* pl = gtk_shell::text_layout(cr, style, text);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(pl, &w, &h);
    gtk_shell::set_colour(cr, style.colour);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, pl);
    g_object_unref(pl);
    if (underline) {
        cairo_rectangle(cr, x, y + h - 2, w, 1);
        cairo_fill(cr);
    }
    return {x, y, w, h};
}

gboolean draw_area(GtkWidget*, cairo_t* cr, gpointer) {
    Ui& u = ui();
    const setup::Layout l = layout();
    gtk_shell::set_colour(cr, BACKGROUND);
    cairo_paint(cr);

    gtk_shell::paint_picture(cr, gtk_shell::Picture::logo, l.picture.x, l.picture.y, l.picture.width,
                             l.picture.height);
    const int y0 = S(28);
    text_at(cr, label(GOLD), "A room you can walk", l.text_x, y0 + S(4));
    text_at(cr, title(TEXT), u.removal ? std::string("Remove ") + setup::PRODUCT : setup::PRODUCT, l.text_x,
            y0 + S(28));
    if (u.removal) {
        PangoLayout* pl = gtk_shell::text_layout(cr, body(MUTED),
                                                 "This removes the program. Artwork stays on the chain.");
        pango_layout_set_single_paragraph_mode(pl, FALSE);
        pango_layout_set_width(pl, (l.w - l.margin - l.text_x) * PANGO_SCALE);
        pango_layout_set_wrap(pl, PANGO_WRAP_WORD);
        gtk_shell::set_colour(cr, MUTED);
        cairo_move_to(cr, l.text_x, y0 + S(90));
        pango_cairo_show_layout(cr, pl);
        g_object_unref(pl);
    } else {
        text_at(cr, body(MUTED), "Two floors. Ten frames.", l.text_x, y0 + S(90));
        text_at(cr, body(MUTED), "Place a piece, or buy one.", l.text_x, y0 + S(116));
    }

    gtk_shell::set_colour(cr, LINE);
    cairo_rectangle(cr, 0, l.picture.y + l.picture.height + S(34), l.w, 1);
    cairo_fill(cr);

    text_at(cr, label(GOLD), u.removal ? "FOLDER" : "INSTALL FOLDER", l.margin, l.folder.y - S(32));
    gtk_shell::set_colour(cr, PANEL);
    cairo_rectangle(cr, l.folder.x, l.folder.y, l.folder.width, l.folder.height);
    cairo_fill(cr);
    gtk_shell::set_colour(cr, LINE);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, l.folder.x + 0.5, l.folder.y + 0.5, l.folder.width - 1, l.folder.height - 1);
    cairo_stroke(cr);

    if (u.removal) {
        text_at(cr, body(MUTED), "This is the folder that will be removed.", l.margin, l.notice_y);
        u.wallet_link = {};
    } else {
        const GdkRectangle lead = text_at(cr, label(GOLD), "Needs Wendrel - ", l.margin, l.notice_y + S(3));
        u.wallet_link = text_at(cr, body(GOLD), setup::WALLET_PAGE, l.margin + lead.width, l.notice_y, true);
        for (int row = 0; row < setup::OPTION_ROWS; ++row) {
            const int box = S(22);
            const int bx = l.margin;
            const int by = l.options_y + row * l.row_h + (l.row_h - box) / 2;
            const bool on = setup::option_value(row);
            rounded(cr, bx + 0.5, by + 0.5, box - 1, box - 1, S(5));
            gtk_shell::set_colour(cr, on ? TICKED : PANEL);
            cairo_fill_preserve(cr);
            gtk_shell::set_colour(cr, on ? GOLD : LINE);
            cairo_stroke(cr);
            if (on) {
                gtk_shell::set_colour(cr, GOLD);
                cairo_set_line_width(cr, 3);
                cairo_move_to(cr, bx + S(5), by + S(12));
                cairo_line_to(cr, bx + S(9), by + S(17));
                cairo_line_to(cr, bx + S(17), by + S(6));
                cairo_stroke(cr);
                cairo_set_line_width(cr, 1);
            }
            text_at(cr, body(TEXT), setup::option_label(row), bx + S(32), by + box / 2 - S(11));
        }
    }

    int fy = l.footer_y;
    text_at(cr, small(MUTED), "Linux 64-bit", l.margin, fy);
    fy += S(22);
    text_at(cr, small(MUTED), std::string("Version ") + setup::VERSION, l.margin, fy);
    fy += S(22);
    u.program_link = text_at(cr, body(GOLD), setup::PROGRAM_PAGE, l.margin, fy, true);
    fy += S(28);
    text_at(cr, small(MUTED), std::string("Made by ") + setup::PUBLISHER + ". Artwork stays on the chain.",
            l.margin, fy);

    gtk_shell::set_colour(cr, PANEL);
    cairo_rectangle(cr, l.progress.x, l.progress.y, l.progress.width, l.progress.height);
    cairo_fill(cr);
    const int percent = setup::progress().percent;
    if (percent > 0) {
        gtk_shell::set_colour(cr, GOLD);
        cairo_rectangle(cr, l.progress.x, l.progress.y, l.progress.width * std::min(percent, 100) / 100,
                        l.progress.height);
        cairo_fill(cr);
    }
    return FALSE;
}

gboolean draw_button(GtkWidget* button, cairo_t* cr, gpointer) {
    const bool is_action = button == ui().action;
    const int w = gtk_widget_get_allocated_width(button);
    const int h = gtk_widget_get_allocated_height(button);
    const GtkStateFlags state = gtk_widget_get_state_flags(button);
    const bool hot = (state & (GTK_STATE_FLAG_PRELIGHT | GTK_STATE_FLAG_ACTIVE)) != 0 &&
                     (state & GTK_STATE_FLAG_INSENSITIVE) == 0;
    gtk_shell::set_colour(cr, BACKGROUND);
    cairo_paint(cr);
    const double r = S(8);
    Rgb text = TEXT;
    if (is_action) {
        rounded(cr, 0.5, 0.5, w - 1, h - 1, r);
        gtk_shell::set_colour(cr, hot ? BRIGHT_GOLD : GOLD);
        cairo_fill_preserve(cr);
        gtk_shell::set_colour(cr, GOLD);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        text = DARK_TEXT;
    } else {
        const double inset = hot ? 1 : 0.5;
        rounded(cr, inset, inset, w - 2 * inset, h - 2 * inset, r);
        gtk_shell::set_colour(cr, hot ? TICKED : PANEL);
        cairo_fill_preserve(cr);
        gtk_shell::set_colour(cr, hot ? GOLD : LINE);
        cairo_set_line_width(cr, hot ? 2 : 1);
        cairo_stroke(cr);
        if (hot) text = GOLD;
    }
    const char* words = gtk_button_get_label(GTK_BUTTON(button));
    gtk_shell::draw_text_centred(cr, label(text), words ? words : "", w / 2.0, h / 2.0);
    return TRUE;
}

void show_status() {
    Ui& u = ui();
    const std::string& s = setup::progress().status;
    gtk_label_set_text(GTK_LABEL(u.status), s.c_str());
    gtk_widget_set_visible(u.status, !s.empty());
    if (u.command_line.automation && s != u.last_status && !s.empty()) {
        std::fprintf(stderr, "status: %s\n", s.c_str());
        std::fflush(stderr);
    }
    u.last_status = s;
}

// Called by the engine between steps: show the state and handle what is pending, so the
// window repaints and a close request is seen.
void refresh() {
    Ui& u = ui();
    show_status();
    gtk_widget_queue_draw(u.area);
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void on_action(GtkButton*, gpointer) {
    Ui& u = ui();
    setup::Progress& p = setup::progress();
    if (p.busy) return;
    if (u.install_done) {
        // The second click of a double click on INSTALL may land on CLOSE when the install
        // was quicker than the click: it must not end the program unseen.
        gint double_click_ms = 400;
        g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &double_click_ms, nullptr);
        if (g_get_monotonic_time() - u.done_at_us < static_cast<gint64>(double_click_ms) * 1000) return;
        gtk_widget_destroy(u.window);
        return;
    }
    p.busy = true;
    gtk_widget_set_sensitive(u.action, FALSE);
    gtk_widget_set_sensitive(u.entry, FALSE);
    setup::Driver driver;
    driver.refresh = refresh;
    driver.has_window = true;
    const std::string folder = gtk_entry_get_text(GTK_ENTRY(u.entry));
    const bool ok = u.removal ? setup::uninstall_from(folder, driver) : setup::install_to(folder, driver);
    if (!u.removal && ok) {
        gtk_button_set_label(GTK_BUTTON(u.action), "CLOSE");
        u.install_done = true;
        u.done_at_us = g_get_monotonic_time();
    }
    gtk_widget_set_sensitive(u.action, TRUE);
    p.busy = false;
    show_status();
    gtk_widget_queue_draw(u.area);
    if (u.close_requested) {
        gtk_widget_destroy(u.window);
        return;
    }
    if (u.removal && ok) {
        GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(u.window), GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                                GTK_BUTTONS_OK, "%s has been uninstalled.", setup::PRODUCT);
        gtk_window_set_title(GTK_WINDOW(box), setup::PRODUCT);
        gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
    }
}

void on_browse(GtkButton*, gpointer) {
    Ui& u = ui();
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        "Choose install folder", GTK_WINDOW(u.window), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (name) {
            gtk_entry_set_text(GTK_ENTRY(u.entry), name);
            g_free(name);
        }
    }
    g_object_unref(chooser);
}

bool inside(const GdkRectangle& r, double x, double y) {
    return r.width > 0 && x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

void open_page(const char* url) {
    gtk_show_uri_on_window(GTK_WINDOW(ui().window), url, GDK_CURRENT_TIME, nullptr);
}

gboolean on_area_press(GtkWidget*, GdkEventButton* event, gpointer) {
    Ui& u = ui();
    if (event->button != 1 || event->type != GDK_BUTTON_PRESS) return FALSE;
    if (inside(u.wallet_link, event->x, event->y)) {
        open_page(setup::WALLET_PAGE);
        return TRUE;
    }
    if (inside(u.program_link, event->x, event->y)) {
        open_page(setup::PROGRAM_PAGE);
        return TRUE;
    }
    const setup::Layout l = layout();
    const int row = u.removal ? -1 : setup::option_row_at(l, u.dpi, static_cast<int>(event->x), static_cast<int>(event->y));
    if (row >= 0) {
        setup::toggle_option(row);
        gtk_widget_queue_draw(u.area);
        return TRUE;
    }
    return FALSE;
}

gboolean on_area_motion(GtkWidget* area, GdkEventMotion* event, gpointer) {
    Ui& u = ui();
    const bool hand = inside(u.wallet_link, event->x, event->y) || inside(u.program_link, event->x, event->y);
    GdkWindow* win = gtk_widget_get_window(area);
    GdkCursor* cursor = hand ? gdk_cursor_new_from_name(gtk_widget_get_display(area), "pointer") : nullptr;
    gdk_window_set_cursor(win, cursor);
    if (cursor) g_object_unref(cursor);
    return FALSE;
}

// Closing while the engine works hides the window; the program ends when the work returns.
gboolean on_delete(GtkWidget* window, GdkEvent*, gpointer) {
    if (!setup::progress().busy) return FALSE;
    ui().close_requested = true;
    gtk_widget_hide(window);
    return TRUE;
}

gboolean poll_shot(gpointer) {
    const std::string path = platform::env(SHOT_VARIABLE);
    const std::string request = path + ".request";
    if (path.empty() || !g_file_test(request.c_str(), G_FILE_TEST_EXISTS)) return G_SOURCE_CONTINUE;
    Ui& u = ui();
    const int w = gtk_widget_get_allocated_width(u.window);
    const int h = gtk_widget_get_allocated_height(u.window);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(surface);
    gtk_widget_draw(u.window, cr);
    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    std::remove(request.c_str());
    std::fprintf(stderr, "shot: %s\n", written ? "written" : "failed");
    std::fflush(stderr);
    return G_SOURCE_CONTINUE;
}

void place(GtkWidget* child, const setup::Box& r) {
    gtk_widget_set_size_request(child, r.width, r.height);
    gtk_fixed_put(GTK_FIXED(ui().fixed), child, r.x, r.y);
}

void install_entry_style(GtkWidget* entry) {
    const std::string css = "entry.setup-folder { background: rgb(10,14,22); color: rgb(236,228,204);"
                            " border: none; box-shadow: none; outline: none; padding: 0 " +
                            std::to_string(S(12)) + "px; min-height: 0; font-family: \"Segoe UI\", \"DejaVu Sans\","
                            " \"Liberation Sans\", sans-serif; font-size: " + std::to_string(font_px(22)) + "px; }"
                            " entry.setup-folder:disabled { color: rgb(120,136,152); }"
                            " label.setup-status { color: rgb(120,136,152); font-family: \"Segoe UI\","
                            " \"DejaVu Sans\", sans-serif; font-size: " + std::to_string(font_px(22)) + "px; }";
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(entry), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
    gtk_style_context_add_class(gtk_widget_get_style_context(entry), "setup-folder");
}

void on_map(GtkWidget*, gpointer) {
    if (ui().command_line.automation) {
        std::fprintf(stderr, "window: shown\n");
        std::fflush(stderr);
    }
}

void on_destroy(GtkWidget*, gpointer) { gtk_main_quit(); }

}  // namespace

int run_window(const setup::CommandLine& command_line, int& argc, char**& argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "quenvale-setup: no display; run it with /S to install without a window\n");
        return 1;
    }
    Ui& u = ui();
    u.command_line = command_line;
    u.removal = command_line.uninstall;
    u.dpi = gtk_shell::widget_dpi(nullptr);
    const setup::Layout l = layout();

    u.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(u.window), u.removal ? "Quenvale — Remove" : "Quenvale Setup");
    gtk_window_set_resizable(GTK_WINDOW(u.window), FALSE);
    gtk_window_set_position(GTK_WINDOW(u.window), GTK_WIN_POS_CENTER);
    if (GdkPixbuf* icon = gtk_shell::program_icon()) gtk_window_set_icon(GTK_WINDOW(u.window), icon);
    g_signal_connect(u.window, "delete-event", G_CALLBACK(on_delete), nullptr);
    g_signal_connect(u.window, "destroy", G_CALLBACK(on_destroy), nullptr);
    g_signal_connect(u.window, "map", G_CALLBACK(on_map), nullptr);

    u.fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(u.window), u.fixed);
    u.area = gtk_drawing_area_new();
    gtk_widget_add_events(u.area, GDK_BUTTON_PRESS_MASK | GDK_POINTER_MOTION_MASK);
    g_signal_connect(u.area, "draw", G_CALLBACK(draw_area), nullptr);
    g_signal_connect(u.area, "button-press-event", G_CALLBACK(on_area_press), nullptr);
    g_signal_connect(u.area, "motion-notify-event", G_CALLBACK(on_area_motion), nullptr);
    place(u.area, {0, 0, l.w, l.h});

    std::string folder;
    if (u.removal) folder = setup::read_install_location();
    if (folder.empty()) folder = setup::places().install_folder;
    u.entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(u.entry), folder.c_str());
    gtk_entry_set_has_frame(GTK_ENTRY(u.entry), FALSE);
    install_entry_style(u.entry);
    // Enter does nothing in the folder box (GtkEntry is one line; no line feed gets in).
    gtk_entry_set_activates_default(GTK_ENTRY(u.entry), FALSE);
    place(u.entry, {l.folder.x + 1, l.folder.y + 1, l.folder.width - 2, l.folder.height - 2});

    u.browse = gtk_button_new_with_label("BROWSE");
    u.action = gtk_button_new_with_label(u.removal ? "UNINSTALL" : "INSTALL");
    for (GtkWidget* b : {u.browse, u.action}) {
        g_signal_connect(b, "draw", G_CALLBACK(draw_button), nullptr);
        gtk_shell::give_hand_cursor(b);
    }
    g_signal_connect(u.browse, "clicked", G_CALLBACK(on_browse), nullptr);
    g_signal_connect(u.action, "clicked", G_CALLBACK(on_action), nullptr);
    place(u.browse, l.browse);
    place(u.action, l.action);

    u.status = gtk_label_new("");
    gtk_style_context_add_class(gtk_widget_get_style_context(u.status), "setup-status");
    gtk_label_set_xalign(GTK_LABEL(u.status), 0);
    gtk_label_set_ellipsize(GTK_LABEL(u.status), PANGO_ELLIPSIZE_END);
    place(u.status, l.status);

    gtk_widget_show_all(u.window);
    gtk_widget_hide(u.status);
    // The action button holds the focus, so the folder text is not shown selected.
    gtk_widget_grab_focus(u.action);
    if (command_line.automation) g_timeout_add(SHOT_POLL_MS, poll_shot, nullptr);
    gtk_main();
    return 0;
}

}  // namespace setup_gtk
