#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace chrome_test {

void pump(int rounds) {
    for (int i = 0; i < rounds; ++i)
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void pump_for(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
        else
            g_usleep(2000);
    }
}

bool settle(const std::function<bool()>& ready, int limit_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    bool ok = ready();
    while (!ok && std::chrono::steady_clock::now() < end) {
        pump_for(10);
        ok = ready();
    }
    pump_for(80);
    return ok;
}

cairo_surface_t* draw_widget(GtkWidget* widget) {
    const int w = gtk_widget_get_allocated_width(widget);
    const int h = gtk_widget_get_allocated_height(widget);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, w), std::max(1, h));
    cairo_t* cr = cairo_create(image);
    gtk_widget_draw(widget, cr);
    cairo_destroy(cr);
    cairo_surface_flush(image);
    return image;
}

Pixel pixel_at(cairo_surface_t* image, int x, int y) {
    const int w = cairo_image_surface_get_width(image);
    const int h = cairo_image_surface_get_height(image);
    if (x < 0 || y < 0 || x >= w || y >= h) return {};
    const unsigned char* data = cairo_image_surface_get_data(image);
    const auto p = *reinterpret_cast<const std::uint32_t*>(data + y * cairo_image_surface_get_stride(image) + x * 4);
    Pixel out;
    out.a = static_cast<int>((p >> 24) & 0xff);
    if (out.a == 0) return out;
    // Back from premultiplied.
    out.r = static_cast<int>(((p >> 16) & 0xff) * 255 / out.a);
    out.g = static_cast<int>(((p >> 8) & 0xff) * 255 / out.a);
    out.b = static_cast<int>((p & 0xff) * 255 / out.a);
    return out;
}

int count_pixels(cairo_surface_t* image, int x, int y, int w, int h, const std::function<bool(const Pixel&)>& keep) {
    int n = 0;
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            if (keep(pixel_at(image, i, j))) ++n;
    return n;
}

std::vector<GtkWidget*> find_widgets(GtkWidget* root, const std::function<bool(GtkWidget*)>& keep) {
    std::vector<GtkWidget*> found;
    std::vector<GtkWidget*> todo{root};
    while (!todo.empty()) {
        GtkWidget* w = todo.back();
        todo.pop_back();
        if (keep(w)) found.push_back(w);
        if (GTK_IS_CONTAINER(w)) {
            GList* children = gtk_container_get_children(GTK_CONTAINER(w));
            for (GList* c = children; c; c = c->next) todo.push_back(GTK_WIDGET(c->data));
            g_list_free(children);
        }
    }
    return found;
}

GtkWidget* find_button(GtkWidget* root, const std::string& label) {
    auto found = find_widgets(root, [&](GtkWidget* w) {
        if (!GTK_IS_BUTTON(w)) return false;
        const char* l = gtk_button_get_label(GTK_BUTTON(w));
        return l && label == l;
    });
    return found.empty() ? nullptr : found.front();
}

void click(GtkWidget* widget, double x, double y) {
    GdkWindow* window = gtk_widget_get_window(widget);
    ASSERT_NE(window, nullptr);
    GdkEvent* event = gdk_event_new(GDK_BUTTON_RELEASE);
    event->button.window = GDK_WINDOW(g_object_ref(window));
    event->button.x = x;
    event->button.y = y;
    event->button.button = GDK_BUTTON_PRIMARY;
    event->button.time = GDK_CURRENT_TIME;
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(window))));
    gtk_widget_event(widget, event);
    gdk_event_free(event);
}

std::vector<GtkWindow*> visible_windows(GtkWindowType type) {
    std::vector<GtkWindow*> out;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next) {
        GtkWindow* w = GTK_WINDOW(l->data);
        if (gtk_widget_get_visible(GTK_WIDGET(w)) && gtk_window_get_window_type(w) == type) out.push_back(w);
    }
    g_list_free(all);
    return out;
}

GtkWindow* window_titled(const std::string& title) {
    for (GtkWindow* w : visible_windows(GTK_WINDOW_TOPLEVEL)) {
        const char* t = gtk_window_get_title(w);
        if (t && title == t) return w;
    }
    return nullptr;
}

}  // namespace chrome_test

int main(int argc, char** argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "gui_chrome_tests needs a display: run it under xvfb-run\n");
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
