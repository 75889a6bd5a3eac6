#include "shell/gtk/notes_popup.h"

#include <algorithm>
#include <string>
#include <utility>

#include "shell/gtk/style.h"
#include "shell/notes_popup.h"

namespace gtk_shell {

namespace {

constexpr shell::Rgb POPUP_FILL{10, 18, 36};
constexpr shell::Rgb GOLD{212, 175, 55};
constexpr shell::Rgb EMPTY_TEXT{168, 148, 96};
constexpr shell::Rgb HOVER_FILL{28, 40, 64};
constexpr shell::Rgb NOTE_TEXT{236, 228, 204};

struct Popup {
    std::function<void(int)> chosen;
    GtkWidget* owner = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    std::vector<bridge::NoteItem> notes;
    int hovered = -1;
    int dpi = shell::BASE_DPI;
};

Popup* popup_of(GtkWidget* window) {
    return window ? static_cast<Popup*>(g_object_get_data(G_OBJECT(window), "quenvale-popup")) : nullptr;
}

void set_cursor(GtkWidget* widget, bool hand) {
    GdkWindow* w = gtk_widget_get_window(widget);
    if (!w) return;
    GdkCursor* cursor = hand ? gdk_cursor_new_from_name(gtk_widget_get_display(widget), "pointer") : nullptr;
    gdk_window_set_cursor(w, cursor);
    if (cursor) g_object_unref(cursor);
}

void hover(Popup& p, int row) {
    set_cursor(p.area, row >= 0);
    if (row == p.hovered) return;
    p.hovered = row;
    gtk_widget_queue_draw(p.area);
}

gboolean on_draw(GtkWidget* area, cairo_t* cr, gpointer data) {
    const auto* p = static_cast<Popup*>(data);
    paint_notes_popup(cr, gtk_widget_get_allocated_width(area), gtk_widget_get_allocated_height(area), p->notes,
                      p->hovered, p->dpi);
    return TRUE;
}

gboolean on_motion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* p = static_cast<Popup*>(data);
    hover(*p, shell::notes_row_at(static_cast<int>(event->y), p->notes.size(), p->dpi));
    return TRUE;
}

gboolean on_leave(GtkWidget*, GdkEventCrossing*, gpointer data) {
    hover(*static_cast<Popup*>(data), -1);
    return TRUE;
}

gboolean on_release(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* p = static_cast<Popup*>(data);
    if (event->button != GDK_BUTTON_PRIMARY) return TRUE;
    const int row = shell::notes_row_at(static_cast<int>(event->y), p->notes.size(), p->dpi);
    if (row < 0) return TRUE;
    const int spot = p->notes[static_cast<std::size_t>(row)].spot;
    notes_popup_hide(p->window);
    // The action may destroy the header (and this popup) when it closes the program.
    const std::function<void(int)> chosen = p->chosen;
    if (chosen) chosen(spot);
    return TRUE;
}

void place(Popup& p, const shell::Rect& bell_on_screen, const std::vector<bridge::NoteItem>& notes, int dpi) {
    p.notes = notes;
    p.dpi = dpi;
    if (p.hovered >= static_cast<int>(p.notes.size())) p.hovered = -1;
    const shell::Rect r = shell::position_notes_popup(bell_on_screen, p.notes.size(), dpi);
    gtk_widget_set_size_request(p.area, r.width(), r.height());
    gtk_window_resize(GTK_WINDOW(p.window), r.width(), r.height());
    gtk_window_move(GTK_WINDOW(p.window), r.left, r.top);
    gtk_widget_queue_draw(p.area);
}

}  // namespace

GtkWidget* notes_popup_new(GtkWidget* owner, std::function<void(int spot)> chosen) {
    auto* p = new Popup;
    p->chosen = std::move(chosen);
    p->owner = owner;
    p->window = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_resizable(GTK_WINDOW(p->window), FALSE);
    gtk_window_set_decorated(GTK_WINDOW(p->window), FALSE);
    p->area = gtk_drawing_area_new();
    gtk_widget_add_events(p->area, GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_BUTTON_PRESS_MASK |
                                       GDK_BUTTON_RELEASE_MASK);
    gtk_container_add(GTK_CONTAINER(p->window), p->area);
    gtk_widget_show(p->area);
    g_signal_connect(p->area, "draw", G_CALLBACK(on_draw), p);
    g_signal_connect(p->area, "motion-notify-event", G_CALLBACK(on_motion), p);
    g_signal_connect(p->area, "leave-notify-event", G_CALLBACK(on_leave), p);
    g_signal_connect(p->area, "button-release-event", G_CALLBACK(on_release), p);
    g_object_set_data_full(G_OBJECT(p->window), "quenvale-popup", p,
                           [](gpointer data) { delete static_cast<Popup*>(data); });
    return p->window;
}

void notes_popup_show(GtkWidget* popup, const shell::Rect& bell_on_screen,
                      const std::vector<bridge::NoteItem>& notes, int dpi) {
    Popup* p = popup_of(popup);
    if (!p) return;
    p->hovered = -1;
    GtkWidget* top = p->owner ? gtk_widget_get_toplevel(p->owner) : nullptr;
    // An offscreen toplevel (tests) has no X window to be transient for.
    if (top && GTK_IS_WINDOW(top) && !GTK_IS_OFFSCREEN_WINDOW(top)) gtk_window_set_transient_for(GTK_WINDOW(popup), GTK_WINDOW(top));
    place(*p, bell_on_screen, notes, dpi);
    gtk_widget_show(popup);
}

void notes_popup_update(GtkWidget* popup, const shell::Rect& bell_on_screen,
                        const std::vector<bridge::NoteItem>& notes, int dpi) {
    Popup* p = popup_of(popup);
    if (!p || !gtk_widget_get_visible(popup)) return;
    place(*p, bell_on_screen, notes, dpi);
}

bool notes_popup_visible(GtkWidget* popup) { return popup && gtk_widget_get_visible(popup); }

void notes_popup_hide(GtkWidget* popup) {
    if (popup) gtk_widget_hide(popup);
}

void paint_notes_popup(cairo_t* cr, int width, int height, const std::vector<bridge::NoteItem>& notes, int hovered,
                       int dpi) {
    if (width <= 0 || height <= 0) return;
    auto s = [dpi](int n) { return shell::scaled(n, dpi); };
    set_colour(cr, POPUP_FILL);
    cairo_paint(cr);
    set_colour(cr, GOLD);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
    cairo_stroke(cr);
    draw_text(cr, {SERIF_FAMILY, s(16), false, GOLD}, "Your turn", s(14), s(10));
    cairo_move_to(cr, s(14), s(36) + 0.5);
    cairo_line_to(cr, width - s(14), s(36) + 0.5);
    cairo_stroke(cr);
    const TextStyle note_style{UI_FAMILY, s(14), false, NOTE_TEXT};
    if (notes.empty()) {
        draw_text(cr, {UI_FAMILY, s(14), false, EMPTY_TEXT}, "Nothing is waiting on you.", s(14), s(46));
        return;
    }
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const int top = shell::notes_row_top(static_cast<int>(i), dpi);
        if (static_cast<int>(i) == hovered) {
            set_colour(cr, HOVER_FILL);
            cairo_rectangle(cr, s(8), top, width - s(16), s(32));
            cairo_fill(cr);
        }
        draw_text(cr, note_style, notes[i].text, s(14), top + s(6), width - s(28));
    }
}

}  // namespace gtk_shell
