#include "shell/gtk/header_bar.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "shell/bell.h"
#include "shell/compass.h"
#include "shell/gtk/notes_popup.h"
#include "shell/gtk/style.h"
#include "shell/layout.h"
#include "shell/palette.h"

namespace gtk_shell {

namespace {

constexpr double PI = 3.14159265358979323846;

// Colour matrices as GDI+ writes them: rows are the input channels R, G, B, A and the
// translation row W; columns the output channels R, G, B, A.
using ColourMatrix = std::array<std::array<double, 4>, 5>;
constexpr ColourMatrix LIT_BELL{{{1.08, 0.04, 0, 0}, {0.04, 1.02, 0, 0}, {0, 0.02, 0.72, 0}, {0, 0, 0, 1},
                                 {0.06, 0.04, 0.02, 0}}};
constexpr ColourMatrix UNLIT_BELL{{{1.15, 0.02, 0, 0}, {0.08, 0.22, 0, 0}, {0.02, 0, 0.18, 0}, {0, 0, 0, 1},
                                   {0.04, 0, 0, 0}}};

struct Bar {
    HeaderActions actions;
    GtkWidget* root = nullptr;  // the overlay handed out
    GtkWidget* area = nullptr;
    GtkWidget* fixed = nullptr;
    GtkWidget* settings = nullptr;
    GtkWidget* connect = nullptr;
    GtkWidget* close = nullptr;
    GtkWidget* popup = nullptr;
    shell::HeaderState header;
    std::vector<bridge::NoteItem> notes;
    shell::BellState bell;
    shell::CompassState compass;
    std::string facing_word;
    int facing_deg = 0;
    guint compass_timer = 0;
    guint height_idle = 0;
    int dpi = shell::BASE_DPI;
    int width = -1;
    int height = -1;  // the header height last laid out
    shell::MainLayout layout;
};

Bar* bar_of(GtkWidget* bar) {
    return bar ? static_cast<Bar*>(g_object_get_data(G_OBJECT(bar), "quenvale-bar")) : nullptr;
}

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// Applies a colour matrix to every pixel of a premultiplied ARGB32 image.
void tint(cairo_surface_t* image, const ColourMatrix& m) {
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    if (!data) return;
    const int w = cairo_image_surface_get_width(image);
    const int h = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = row[x];
            const double a = (p >> 24) & 0xff;
            if (a == 0) continue;
            const double in[4] = {((p >> 16) & 0xff) / a, ((p >> 8) & 0xff) / a, (p & 0xff) / a, a / 255.0};
            double out[4];
            for (int c = 0; c < 4; ++c) {
                double v = m[4][c];
                for (int i = 0; i < 4; ++i) v += in[i] * m[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)];
                out[c] = clamp01(v);
            }
            auto channel = [&](double v) { return static_cast<std::uint32_t>(std::lround(v * out[3] * 255.0)); };
            row[x] = (static_cast<std::uint32_t>(std::lround(out[3] * 255.0)) << 24) | (channel(out[0]) << 16) |
                     (channel(out[1]) << 8) | channel(out[2]);
        }
    }
    cairo_surface_mark_dirty(image);
}

void paint_bell(cairo_t* cr, const shell::Rect& r, std::size_t count, bool lit, int dpi, int scale) {
    if (r.width() <= 0 || r.height() <= 0) return;
    if (picture(Picture::bell)) {
        cairo_surface_t* image =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, r.width() * scale, r.height() * scale);
        cairo_surface_set_device_scale(image, scale, scale);
        cairo_t* ic = cairo_create(image);
        paint_picture(ic, Picture::bell, 0, 0, r.width(), r.height());
        cairo_destroy(ic);
        if (count > 0) tint(image, lit ? LIT_BELL : UNLIT_BELL);
        cairo_set_source_surface(cr, image, r.left, r.top);
        cairo_paint(cr);
        cairo_surface_destroy(image);
    }
    if (count == 0) return;
    const int d = shell::scaled(16, dpi);
    const int inset = shell::scaled(1, dpi);
    const double cx = r.right - inset - d / 2.0;
    const double cy = r.top + inset + d / 2.0;
    set_colour(cr, shell::BADGE_FILL);
    cairo_arc(cr, cx, cy, d / 2.0, 0, 2 * PI);
    cairo_fill(cr);
    draw_text_centred(cr, {UI_FAMILY, shell::scaled(10, dpi), false, shell::BADGE_TEXT}, shell::badge_text(count), cx, cy);
}

void circle(cairo_t* cr, double cx, double cy, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * PI);
}

cairo_pattern_t* vertical(double top, double bottom, shell::Rgb from, shell::Rgb to) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, top, 0, bottom);
    cairo_pattern_add_color_stop_rgb(p, 0, from.r / 255.0, from.g / 255.0, from.b / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, to.r / 255.0, to.g / 255.0, to.b / 255.0);
    return p;
}

void fill_with(cairo_t* cr, cairo_pattern_t* p) {
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// The dial turns by -facing so the facing direction comes to the top; the needle only
// swings by the wobble.
void paint_compass(cairo_t* cr, const shell::Rect& rc, int facing_deg, int needle_deg) {
    if (rc.width() <= 0 || rc.height() <= 0) return;
    const double cx = rc.left + rc.width() / 2.0;
    const double cy = rc.top + rc.height() / 2.0;
    const double r = rc.height() / 2.0 - 1;
    if (r <= 2) return;
    cairo_save(cr);
    set_colour(cr, {0, 0, 0}, 110 / 255.0);
    circle(cr, cx + 2, cy + 3, r);
    cairo_fill(cr);
    circle(cr, cx, cy, r);
    fill_with(cr, vertical(cy - r, cy + r, {236, 206, 128}, {112, 74, 28}));
    set_colour(cr, {54, 38, 20});
    circle(cr, cx, cy, 0.975 * r);
    cairo_fill(cr);
    const double face = 0.96 * r;
    circle(cr, cx, cy, face);
    cairo_pattern_t* face_fill = vertical(cy - face, cy + face, {252, 246, 230}, {214, 196, 156});
    cairo_set_source(cr, face_fill);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(face_fill);
    set_colour(cr, {140, 104, 52});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    for (int i = 0; i < 72; ++i) {
        const int deg = i * 5;
        const double theta = (deg - facing_deg - 90) * PI / 180.0;
        double inner = 0.87;
        if (deg % 90 == 0)
            inner = 0.7;
        else if (deg % 30 == 0)
            inner = 0.8;
        if (deg % 90 == 0) {
            set_colour(cr, {36, 28, 20});
            cairo_set_line_width(cr, 1.7);
        } else {
            set_colour(cr, {92, 68, 36}, 170 / 255.0);
            cairo_set_line_width(cr, 1.0);
        }
        cairo_move_to(cr, cx + 0.95 * r * std::cos(theta), cy + 0.95 * r * std::sin(theta));
        cairo_line_to(cr, cx + inner * r * std::cos(theta), cy + inner * r * std::sin(theta));
        cairo_stroke(cr);
    }
    const char* letters[4] = {"N", "E", "S", "W"};
    const int letter_px = std::max(1, static_cast<int>(std::lround(0.3 * r)));
    const int small_px = std::max(1, static_cast<int>(std::lround(0.78 * 0.3 * r)));
    for (int i = 0; i < 4; ++i) {
        const double theta = (i * 90 - facing_deg - 90) * PI / 180.0;
        const TextStyle style = i == 0 ? TextStyle{SERIF_FAMILY, letter_px, true, {168, 28, 24}}
                                       : TextStyle{SERIF_FAMILY, small_px, false, {42, 34, 26}};
        draw_text_centred(cr, style, letters[i], cx + 0.52 * r * std::cos(theta), cy + 0.52 * r * std::sin(theta));
    }

    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, needle_deg * PI / 180.0);
    const double half = 0.07 * r;
    cairo_move_to(cr, -half, 0);
    cairo_line_to(cr, 0, -0.66 * r);
    cairo_line_to(cr, half, 0);
    cairo_close_path(cr);
    set_colour(cr, {186, 36, 28});
    cairo_fill(cr);
    cairo_move_to(cr, -half, 0);
    cairo_line_to(cr, 0, 0.66 * r);
    cairo_line_to(cr, half, 0);
    cairo_close_path(cr);
    set_colour(cr, {214, 218, 222});
    cairo_fill(cr);
    cairo_restore(cr);

    set_colour(cr, {212, 168, 64});
    circle(cr, cx, cy, 0.085 * r);
    cairo_fill(cr);
    set_colour(cr, {72, 48, 22});
    circle(cr, cx, cy, 0.035 * r);
    cairo_fill(cr);
    set_colour(cr, {232, 188, 72});
    cairo_move_to(cr, cx - 0.07 * r, cy - r);
    cairo_line_to(cr, cx + 0.07 * r, cy - r);
    cairo_line_to(cr, cx, cy - 0.88 * r);
    cairo_close_path(cr);
    cairo_fill(cr);
    set_colour(cr, {255, 255, 255}, 80 / 255.0);
    cairo_set_line_width(cr, std::max(1.0, 0.06 * r));
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, 0.8 * r, 206 * PI / 180.0, (206 + 78) * PI / 180.0);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void paint_header(cairo_t* cr, const Bar& b, int w, int h, int scale) {
    if (w <= 0 || h <= 0) return;
    auto s = [&b](int n) { return shell::scaled(n, b.dpi); };
    set_colour(cr, shell::HEADER_BACKGROUND);
    cairo_paint(cr);

    // Banner: scaled uniformly to fit its area and the bar height, centred in both.
    const int banner_left = s(430);
    const int banner_width = w - s(280) - banner_left;
    if (cairo_surface_t* banner = picture(Picture::banner); banner && banner_width > 0) {
        const double pw = cairo_image_surface_get_width(banner);
        const double ph = cairo_image_surface_get_height(banner);
        const double k = std::min(banner_width / pw, h / ph);
        const double dw = pw * k, dh = ph * k;
        paint_picture(cr, Picture::banner, banner_left + (banner_width - dw) / 2, (h - dh) / 2, dw, dh);
    }
    const int logo = s(74);
    paint_picture(cr, Picture::logo, s(18), (h - logo) / 2, logo, logo);

    const int text_x = s(18) + s(74) + s(14);
    const int y0 = (h - s(58)) / 2;
    draw_text(cr, {SERIF_FAMILY, s(26), false, shell::HEADER_NAME}, "Quenvale", text_x, y0);
    draw_text(cr, {UI_FAMILY, s(14), false, shell::HEADER_LABEL}, b.header.label, text_x, y0 + s(26));
    draw_text(cr, {UI_FAMILY, s(14), false, shell::HEADER_BALANCE}, b.header.balance, text_x, y0 + s(44));

    paint_compass(cr, b.layout.compass_rect, b.facing_deg, shell::needle_degrees(b.compass));
    paint_bell(cr, b.layout.bell_rect, b.notes.size(), b.bell.lit, b.dpi, scale);
}

void queue_rect(Bar& b, const shell::Rect& r) {
    if (r.width() > 0 && r.height() > 0) gtk_widget_queue_draw_area(b.area, r.left, r.top, r.width(), r.height());
}

shell::Rect bell_on_screen(const Bar& b) {
    gint x = 0, y = 0;
    if (GdkWindow* w = gtk_widget_get_window(b.area)) gdk_window_get_origin(w, &x, &y);
    const shell::Rect& r = b.layout.bell_rect;
    return shell::rect_at(x + r.left, y + r.top, r.width(), r.height());
}

gboolean on_draw(GtkWidget* area, cairo_t* cr, gpointer data) {
    const auto* b = static_cast<Bar*>(data);
    paint_header(cr, *b, gtk_widget_get_allocated_width(area), gtk_widget_get_allocated_height(area),
                 gtk_widget_get_scale_factor(area));
    return TRUE;
}

bool in_rect(const shell::Rect& r, double x, double y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

gboolean on_motion(GtkWidget* area, GdkEventMotion* event, gpointer data) {
    const auto* b = static_cast<Bar*>(data);
    GdkWindow* w = gtk_widget_get_window(area);
    if (!w) return FALSE;
    GdkCursor* hand = in_rect(b->layout.bell_rect, event->x, event->y)
                          ? gdk_cursor_new_from_name(gtk_widget_get_display(area), "pointer")
                          : nullptr;
    gdk_window_set_cursor(w, hand);
    if (hand) g_object_unref(hand);
    return FALSE;
}

gboolean on_release(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* b = static_cast<Bar*>(data);
    if (event->button != GDK_BUTTON_PRIMARY || !in_rect(b->layout.bell_rect, event->x, event->y)) return FALSE;
    if (notes_popup_visible(b->popup))
        notes_popup_hide(b->popup);
    else
        notes_popup_show(b->popup, bell_on_screen(*b), b->notes, b->dpi);
    return TRUE;
}

gboolean apply_height(gpointer data) {
    auto* b = static_cast<Bar*>(data);
    b->height_idle = 0;
    gtk_widget_set_size_request(b->root, -1, b->height);
    return G_SOURCE_REMOVE;
}

void place(GtkWidget* fixed, GtkWidget* child, const shell::Rect& r) {
    int x = 0, y = 0, cw = 0, ch = 0;
    gtk_container_child_get(GTK_CONTAINER(fixed), child, "x", &x, "y", &y, nullptr);
    gtk_widget_get_size_request(child, &cw, &ch);
    if (x != r.left || y != r.top) gtk_fixed_move(GTK_FIXED(fixed), child, r.left, r.top);
    if (cw != r.width() || ch != r.height()) gtk_widget_set_size_request(child, r.width(), r.height());
}

// The main window's client height decides the header's: the toplevel's content
// allocation, or 0 (treated as 900) before the bar is in a window.
int client_height(GtkWidget* root) {
    GtkWidget* top = gtk_widget_get_toplevel(root);
    if (!top || top == root || !gtk_widget_is_toplevel(top) || !GTK_IS_BIN(top)) return 0;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(top));
    return child ? gtk_widget_get_allocated_height(child) : 0;
}

void lay_out(Bar& b, int width) {
    b.dpi = widget_dpi(b.root);
    b.layout = shell::layout_main(width, client_height(b.root), b.dpi);
    place(b.fixed, b.settings, b.layout.settings_button);
    place(b.fixed, b.connect, b.layout.connect_button);
    place(b.fixed, b.close, b.layout.close_button);
    const int height = b.layout.header.height();
    if (width != b.width || height != b.height) {
        b.width = width;
        b.height = height;
        gtk_widget_queue_draw(b.area);
    }
    int request = -1;
    gtk_widget_get_size_request(b.root, nullptr, &request);
    // Changing the request while GTK allocates would re-enter the layout.
    if (request != height && b.height_idle == 0) b.height_idle = g_idle_add(apply_height, &b);
}

void on_size_allocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
    lay_out(*static_cast<Bar*>(data), allocation->width);
}

void on_scale(GObject*, GParamSpec*, gpointer data) {
    auto* b = static_cast<Bar*>(data);
    gtk_widget_queue_resize(b->root);
    gtk_widget_queue_draw(b->area);
}

gboolean compass_tick(gpointer data) {
    auto* b = static_cast<Bar*>(data);
    const shell::CompassStep step = shell::compass_step(b->compass);
    if (step.repaint) queue_rect(*b, b->layout.compass_rect);
    if (!step.stop) return G_SOURCE_CONTINUE;
    b->compass_timer = 0;
    return G_SOURCE_REMOVE;
}

void on_destroy(GtkWidget*, gpointer data) {
    auto* b = static_cast<Bar*>(data);
    if (b->compass_timer) g_source_remove(b->compass_timer);
    if (b->height_idle) g_source_remove(b->height_idle);
    b->compass_timer = 0;
    b->height_idle = 0;
    if (b->popup) gtk_widget_destroy(b->popup);
    b->popup = nullptr;
}

void on_clicked(GtkWidget* button, std::function<void()> HeaderActions::*action, Bar* b) {
    struct Call {
        Bar* bar;
        std::function<void()> HeaderActions::*action;
    };
    g_signal_connect_data(
        button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            auto* call = static_cast<Call*>(data);
            // Copied: the action may destroy the window and this bar with it.
            const std::function<void()> run = call->bar->actions.*(call->action);
            if (run) run();
        }),
        new Call{b, action}, [](gpointer data, GClosure*) { delete static_cast<Call*>(data); }, GConnectFlags(0));
}

gboolean paint_settings_picture(GtkWidget* widget, cairo_t* cr, gpointer) {
    const int w = gtk_widget_get_allocated_width(widget);
    const int h = gtk_widget_get_allocated_height(widget);
    set_colour(cr, shell::PICTURE_BUTTON_BACKGROUND);
    cairo_paint(cr);
    paint_picture(cr, Picture::settings, 0, 0, w, h);
    return TRUE;
}

}  // namespace

GtkWidget* header_bar_new(const HeaderActions& actions) {
    install_style();
    auto* b = new Bar;
    b->actions = actions;
    b->root = gtk_overlay_new();
    g_object_set_data_full(G_OBJECT(b->root), "quenvale-bar", b, [](gpointer data) { delete static_cast<Bar*>(data); });
    b->dpi = widget_dpi(b->root);
    b->height = shell::header_height(0, b->dpi);
    gtk_widget_set_size_request(b->root, -1, b->height);
    gtk_widget_set_hexpand(b->root, TRUE);

    b->area = gtk_drawing_area_new();
    gtk_widget_add_events(b->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    gtk_container_add(GTK_CONTAINER(b->root), b->area);
    g_signal_connect(b->area, "draw", G_CALLBACK(on_draw), b);
    g_signal_connect(b->area, "motion-notify-event", G_CALLBACK(on_motion), b);
    g_signal_connect(b->area, "button-release-event", G_CALLBACK(on_release), b);

    b->fixed = gtk_fixed_new();
    gtk_overlay_add_overlay(GTK_OVERLAY(b->root), b->fixed);
    // Clicks outside the buttons reach the drawing area (the bell).
    gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(b->root), b->fixed, TRUE);

    b->settings = gtk_button_new();
    gtk_style_context_add_class(gtk_widget_get_style_context(b->settings), PICTURE_CLASS);
    gtk_widget_set_tooltip_text(b->settings, "Settings");
    give_hand_cursor(b->settings);
    GtkWidget* gear = gtk_drawing_area_new();
    g_signal_connect(gear, "draw", G_CALLBACK(paint_settings_picture), nullptr);
    gtk_container_add(GTK_CONTAINER(b->settings), gear);
    const shell::MainLayout first = shell::layout_main(0, 0, b->dpi);
    b->connect = styled_button("Connect", first.connect_button.width(), first.connect_button.height());
    b->close = styled_button("Close", first.close_button.width(), first.close_button.height());
    gtk_widget_set_size_request(b->settings, first.settings_button.width(), first.settings_button.height());
    gtk_fixed_put(GTK_FIXED(b->fixed), b->settings, 0, 0);
    gtk_fixed_put(GTK_FIXED(b->fixed), b->close, 0, 0);
    gtk_fixed_put(GTK_FIXED(b->fixed), b->connect, 0, 0);
    on_clicked(b->settings, &HeaderActions::settings_pressed, b);
    on_clicked(b->connect, &HeaderActions::connect_pressed, b);
    on_clicked(b->close, &HeaderActions::close_pressed, b);

    b->popup = notes_popup_new(b->root, [b](int spot) {
        const std::function<void(int)> chosen = b->actions.note_chosen;
        if (chosen) chosen(spot);
    });

    g_signal_connect(b->root, "size-allocate", G_CALLBACK(on_size_allocate), b);
    g_signal_connect(b->root, "notify::scale-factor", G_CALLBACK(on_scale), b);
    g_signal_connect(b->root, "destroy", G_CALLBACK(on_destroy), b);
    gtk_widget_show_all(b->root);
    return b->root;
}

shell::HeaderRefresh header_bar_tick(GtkWidget* bar, const wallet::WalletSnapshot& snapshot) {
    Bar* b = bar_of(bar);
    if (!b) return {};
    shell::HeaderRefresh refresh = shell::refresh_header(b->header, snapshot);
    if (refresh.repaint) gtk_widget_queue_draw(b->area);
    const char* current = gtk_button_get_label(GTK_BUTTON(b->connect));
    if (!current || refresh.button_text != current) gtk_button_set_label(GTK_BUTTON(b->connect), refresh.button_text.c_str());
    if (shell::bell_tick(b->bell, b->notes.size())) queue_rect(*b, b->layout.bell_rect);
    return refresh;
}

void header_bar_set_notes(GtkWidget* bar, std::vector<bridge::NoteItem> notes) {
    Bar* b = bar_of(bar);
    if (!b) return;
    const std::size_t previous = b->notes.size();
    b->notes = std::move(notes);
    shell::bell_notes_arrived(b->bell, previous, b->notes.size());
    queue_rect(*b, b->layout.bell_rect);
    if (notes_popup_visible(b->popup)) notes_popup_update(b->popup, bell_on_screen(*b), b->notes, b->dpi);
}

void header_bar_facing(GtkWidget* bar, const std::string& word, int deg, int delta) {
    Bar* b = bar_of(bar);
    if (!b) return;
    b->facing_word = word;
    b->facing_deg = deg;
    shell::compass_kick(b->compass, delta);
    queue_rect(*b, b->layout.compass_rect);
    if (b->compass_timer == 0) b->compass_timer = g_timeout_add(shell::COMPASS_TIMER_MS, compass_tick, b);
}

}  // namespace gtk_shell
