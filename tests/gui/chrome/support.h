#pragma once
// Helpers of the chrome tests: a display is needed (run under xvfb-run); widgets are
// drawn offscreen into image surfaces and their pixels read back.
#include <cairo.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace chrome_test {

struct Pixel {
    int r = 0, g = 0, b = 0, a = 0;
};

// Runs the main loop until nothing is pending, a few rounds (allocation, idles).
void pump(int rounds = 5);
// Runs the main loop for about ms milliseconds.
void pump_for(int ms);
// Runs the main loop until ready() holds (at most limit_ms), then a few frames more so
// the frame clock has laid out and drawn what changed.
bool settle(const std::function<bool()>& ready = [] { return true; }, int limit_ms = 3000);
// Draws widget at its allocation into a new image surface (caller destroys).
cairo_surface_t* draw_widget(GtkWidget* widget);
Pixel pixel_at(cairo_surface_t* image, int x, int y);
// Pixels in the rectangle for which keep() holds.
int count_pixels(cairo_surface_t* image, int x, int y, int w, int h, const std::function<bool(const Pixel&)>& keep);
// Every descendant of root (containers walked, root included) for which keep() holds.
std::vector<GtkWidget*> find_widgets(GtkWidget* root, const std::function<bool(GtkWidget*)>& keep);
GtkWidget* find_button(GtkWidget* root, const std::string& label);
// A release of button 1 at x, y on widget's own window.
void click(GtkWidget* widget, double x, double y);
// Visible toplevels of the given window type.
std::vector<GtkWindow*> visible_windows(GtkWindowType type);
GtkWindow* window_titled(const std::string& title);

}  // namespace chrome_test
