#include "shell/gtk/side_windows.h"

#include <array>
#include <utility>
#include <vector>

#include "shell/buttons.h"
#include "shell/gtk/style.h"
#include "shell/gtk/update_check.h"
#include "shell/layout.h"
#include "shell/palette.h"
#include "shell/view_settings.h"

namespace gtk_shell {

namespace {

constexpr const char* MAKER_NOTICE = "Quenvale 0.001. Your keys stay with Wendrel.";

GtkWidget* settings_window = nullptr;
GtkWidget* camera_window = nullptr;
GtkWidget* terms_window = nullptr;

// The window's contents: a drawing area for the texts under a fixed of buttons.
struct Side {
    GtkWidget* window = nullptr;
    GtkWidget* fixed = nullptr;
    GtkWidget* area = nullptr;
    int dpi = shell::BASE_DPI;
    int s(int n) const { return shell::scaled(n, dpi); }
};

// The side look: dark background, a fixed size owned by parent (the icon is every window's default).
Side side_window(GtkWindow* parent, GtkWidget** handle, const char* title, int x, int y, int w, int h) {
    install_style();
    Side side;
    side.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    side.dpi = widget_dpi(side.window);
    *handle = side.window;
    // Forgets the handle when the window goes, however it goes.
    g_signal_connect(side.window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                         *static_cast<GtkWidget**>(data) = nullptr;
                     }),
                     handle);
    gtk_window_set_title(GTK_WINDOW(side.window), title);
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(side.window), parent);
    gtk_window_set_resizable(GTK_WINDOW(side.window), FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(side.window), SIDE_CLASS);
    side.fixed = gtk_fixed_new();
    side.area = gtk_drawing_area_new();
    gtk_widget_set_size_request(side.area, side.s(w), side.s(h));
    gtk_fixed_put(GTK_FIXED(side.fixed), side.area, 0, 0);
    gtk_container_add(GTK_CONTAINER(side.window), side.fixed);
    gtk_window_move(GTK_WINDOW(side.window), x, y);
    return side;
}

GtkWidget* add_button(const Side& side, const char* label, int x, int y, int w, int h) {
    GtkWidget* b = styled_button(label, side.s(w), side.s(h));
    gtk_fixed_put(GTK_FIXED(side.fixed), b, side.s(x), side.s(y));
    return b;
}

void on_click(GtkWidget* button, std::function<void()> run) {
    g_signal_connect_data(
        button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            // Copied: the call may destroy the window and this closure with it.
            const std::function<void()> f = *static_cast<std::function<void()>*>(data);
            if (f) f();
        }),
        new std::function<void()>(std::move(run)),
        [](gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); }, GConnectFlags(0));
}

void fill(cairo_t* cr) {
    set_colour(cr, shell::SIDE_BACKGROUND);
    cairo_paint(cr);
}

int width_of(GtkWidget* area) { return gtk_widget_get_allocated_width(area); }

// --- Settings -------------------------------------------------------------------------

struct SettingsState {
    int dpi = shell::BASE_DPI;
    shell::Rect notice;  // the status line, clickable while an update is announced
};

gboolean settings_draw(GtkWidget* area, cairo_t* cr, gpointer data) {
    auto* st = static_cast<SettingsState*>(data);
    auto s = [st](int n) { return shell::scaled(n, st->dpi); };
    const int w = width_of(area);
    fill(cr);
    draw_text(cr, {SERIF_FAMILY, s(22), false, shell::SIDE_HEADING}, "Settings", s(28), s(18), w - s(20) - s(28));
    st->notice = shell::Rect{s(28), s(176), w - s(24), s(204)};
    // The web view's own message is not passed to this window; the line shows the
    // update notice alone.
    if (update_available())
        draw_text(cr, {UI_FAMILY, s(15), false, shell::SIDE_NOTICE}, "Update available", s(28), s(176), st->notice.width());
    draw_text(cr, {UI_FAMILY, s(15), false, shell::SIDE_MAKER_TEXT}, MAKER_NOTICE, s(28), s(206), w - s(24) - s(28));
    return TRUE;
}

bool in_notice(const SettingsState& st, double x, double y) {
    return update_available() && x >= st.notice.left && x < st.notice.right && y >= st.notice.top &&
           y < st.notice.bottom;
}

gboolean settings_motion(GtkWidget* area, GdkEventMotion* event, gpointer data) {
    GdkWindow* w = gtk_widget_get_window(area);
    if (!w) return FALSE;
    GdkCursor* hand = in_notice(*static_cast<SettingsState*>(data), event->x, event->y)
                          ? gdk_cursor_new_from_name(gtk_widget_get_display(area), "pointer")
                          : nullptr;
    gdk_window_set_cursor(w, hand);
    if (hand) g_object_unref(hand);
    return FALSE;
}

gboolean settings_release(GtkWidget* area, GdkEventButton* event, gpointer data) {
    if (event->button != GDK_BUTTON_PRIMARY || !in_notice(*static_cast<SettingsState*>(data), event->x, event->y))
        return FALSE;
    GtkWidget* top = gtk_widget_get_toplevel(area);
    open_update_page(GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
    return TRUE;
}

// --- Camera ---------------------------------------------------------------------------

struct CameraState {
    std::string folder;
    std::function<void()> look_changed;
    std::vector<std::pair<int, GtkWidget*>> options;  // control id, button
};

void show_chosen(const CameraState& st) {
    const bridge::LookSettings look = shell::read_look(st.folder);
    for (const auto& [id, button] : st.options) set_button_chosen(button, shell::button_chosen(id, look));
}

void camera_choose(CameraState& st, int id) {
    bridge::LookSettings look = shell::read_look(st.folder);
    if (id == shell::ID_STEADY)
        look.quick = false;
    else if (id == shell::ID_QUICK)
        look.quick = true;
    else
        look.fps = shell::button_fps(id);
    std::string error;
    shell::write_look(st.folder, look, error);
    show_chosen(st);
    const std::function<void()> changed = st.look_changed;
    if (changed) changed();
}

gboolean camera_draw(GtkWidget* area, cairo_t* cr, gpointer data) {
    const int dpi = GPOINTER_TO_INT(data);
    auto s = [dpi](int n) { return shell::scaled(n, dpi); };
    const int w = width_of(area);
    fill(cr);
    const TextStyle heading{SERIF_FAMILY, s(22), false, shell::SIDE_HEADING};
    const TextStyle ui{UI_FAMILY, s(15), false, shell::SIDE_TEXT};
    draw_text(cr, heading, "Look", s(28), s(22), w - s(20) - s(28));
    draw_text(cr, ui, "Drag speed in the room.", s(28), s(62), w - s(24) - s(28));
    draw_text(cr, heading, "Frame rate", s(28), s(162), w - s(20) - s(28));
    draw_text(cr, ui, "Frames each second. A steady rate is kinder.", s(28), s(196), w - s(24) - s(28));
    return TRUE;
}

// --- Terms of use ---------------------------------------------------------------------

struct Card {
    const char* heading;
    const char* first;
    const char* second;  // nullptr: one line
};
constexpr std::array<Card, 5> CARDS{{
    {"The room", "You place your own artwork on a frame.", "Wendrel pays the fee. The chain keeps the record."},
    {"What may be shown", "A picture or a PDF you have the right to show.", nullptr},
    {"Not allowed", "Strictly no graphic content.", "No nudity. No gore. Nothing illegal."},
    {"If a piece breaks these terms", "It is taken down, with every ask and offer on it.", "No refund is given."},
    {"The coins", "Taking a piece off the wall does not move the artwork.", "You still hold the coins."},
}};

gboolean terms_draw(GtkWidget* area, cairo_t* cr, gpointer data) {
    const int dpi = GPOINTER_TO_INT(data);
    auto s = [dpi](int n) { return shell::scaled(n, dpi); };
    const int w = width_of(area);
    fill(cr);
    int top = s(18);
    for (const Card& card : CARDS) {
        const int height = s(card.second ? 86 : 64);
        const int left = s(18);
        const int right = w - s(18);
        set_colour(cr, shell::SIDE_CARD);
        cairo_rectangle(cr, left, top, right - left, height);
        cairo_fill(cr);
        const int text_left = left + s(14);
        const int text_width = right - s(12) - text_left;
        draw_text(cr, {SERIF_FAMILY, s(18), false, shell::SIDE_HEADING}, card.heading, text_left, top + s(8), text_width);
        const TextStyle ui{UI_FAMILY, s(15), false, shell::SIDE_TEXT};
        draw_text(cr, ui, card.first, text_left, top + s(34), text_width);
        if (card.second) draw_text(cr, ui, card.second, text_left, top + s(54), text_width);
        top += height + s(10);
    }
    return TRUE;
}

}  // namespace

void show_settings_window(GtkWindow* parent, const SettingsActions& actions) {
    if (settings_window) {
        gtk_window_present(GTK_WINDOW(settings_window));
        return;
    }
    Side side = side_window(parent, &settings_window, "Settings", 180, 120, 440, 340);
    auto* st = new SettingsState{side.dpi, {}};
    g_object_set_data_full(G_OBJECT(side.window), "quenvale-settings", st,
                           [](gpointer data) { delete static_cast<SettingsState*>(data); });
    gtk_widget_add_events(side.area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
    g_signal_connect(side.area, "draw", G_CALLBACK(settings_draw), st);
    g_signal_connect(side.area, "motion-notify-event", G_CALLBACK(settings_motion), st);
    g_signal_connect(side.area, "button-release-event", G_CALLBACK(settings_release), st);
    on_click(add_button(side, "Camera", 28, 72, 360, 36), actions.open_camera);
    on_click(add_button(side, "Terms of use", 28, 120, 360, 36), actions.open_terms);
    GtkWidget* window = side.window;
    on_click(add_button(side, "Close", 143, 250, 130, 36), [window] { gtk_widget_destroy(window); });
    // Closing Settings closes what it opened.
    g_signal_connect(side.window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer) {
                         if (camera_window) gtk_widget_destroy(camera_window);
                         if (terms_window) gtk_widget_destroy(terms_window);
                     }),
                     nullptr);
    gtk_widget_show_all(side.window);
}

void show_camera_window(GtkWindow* parent, const std::string& data_folder, std::function<void()> look_changed) {
    if (camera_window) {
        gtk_window_present(GTK_WINDOW(camera_window));
        return;
    }
    Side side = side_window(parent, &camera_window, "Camera", 220, 150, 440, 390);
    auto* st = new CameraState{data_folder, std::move(look_changed), {}};
    g_object_set_data_full(G_OBJECT(side.window), "quenvale-camera", st,
                           [](gpointer data) { delete static_cast<CameraState*>(data); });
    g_signal_connect(side.area, "draw", G_CALLBACK(camera_draw), GINT_TO_POINTER(side.dpi));
    struct Option {
        int id;
        const char* label;
        int x, y, w;
    };
    const Option options[] = {{shell::ID_STEADY, "Steady", 28, 108, 150}, {shell::ID_QUICK, "Quick", 190, 108, 150},
                              {shell::ID_FPS_30, "30", 28, 228, 78},      {shell::ID_FPS_60, "60", 114, 228, 78},
                              {shell::ID_FPS_90, "90", 200, 228, 78},     {shell::ID_FPS_120, "120", 286, 228, 78}};
    for (const Option& o : options) {
        GtkWidget* b = add_button(side, o.label, o.x, o.y, o.w, 36);
        st->options.emplace_back(o.id, b);
        const int id = o.id;
        on_click(b, [st, id] { camera_choose(*st, id); });
    }
    show_chosen(*st);
    GtkWidget* window = side.window;
    on_click(add_button(side, "Close", 150, 286, 130, 36), [window] { gtk_widget_destroy(window); });
    gtk_widget_show_all(side.window);
}

void show_terms_window(GtkWindow* parent) {
    if (terms_window) {
        gtk_window_present(GTK_WINDOW(terms_window));
        return;
    }
    Side side = side_window(parent, &terms_window, "Terms of use", 240, 80, 500, 620);
    g_signal_connect(side.area, "draw", G_CALLBACK(terms_draw), GINT_TO_POINTER(side.dpi));
    GtkWidget* window = side.window;
    on_click(add_button(side, "Close", 170, 520, 130, 36), [window] { gtk_widget_destroy(window); });
    gtk_widget_show_all(side.window);
}

void refresh_settings_window() {
    if (settings_window) gtk_widget_queue_draw(settings_window);
}

}  // namespace gtk_shell
