// Draws the desktop program's header pictures (bell, logo, banner, settings gear) as
// PNG files into the folder given; run by hand when a picture changes, the PNGs are
// committed in resources/. Build: g++ -std=c++20 scripts/draw_pictures.cpp
// $(pkg-config --cflags --libs cairo) -o draw_pictures && ./draw_pictures resources
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr double PI = 3.14159265358979323846;

void rgb(cairo_t* cr, int r, int g, int b, double a = 1.0) {
    cairo_set_source_rgba(cr, r / 255.0, g / 255.0, b / 255.0, a);
}

bool save(cairo_surface_t* s, const std::string& folder, const char* name) {
    const std::string path = folder + "/" + name;
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    std::printf("%s %s\n", ok ? "wrote" : "failed", path.c_str());
    cairo_surface_destroy(s);
    return ok;
}

// A plain bronze bell: the program tints it gold or red while notes wait.
bool bell(const std::string& folder) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 96, 96);
    cairo_t* cr = cairo_create(s);
    cairo_move_to(cr, 48, 10);
    cairo_curve_to(cr, 26, 10, 24, 34, 22, 52);
    cairo_curve_to(cr, 20, 64, 14, 70, 10, 74);
    cairo_line_to(cr, 86, 74);
    cairo_curve_to(cr, 82, 70, 76, 64, 74, 52);
    cairo_curve_to(cr, 72, 34, 70, 10, 48, 10);
    cairo_close_path(cr);
    rgb(cr, 200, 170, 100);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 3);
    rgb(cr, 150, 118, 62);
    cairo_stroke(cr);
    cairo_arc(cr, 48, 8, 5, 0, 2 * PI);
    rgb(cr, 150, 118, 62);
    cairo_fill(cr);
    cairo_arc(cr, 48, 80, 8, 0, 2 * PI);
    rgb(cr, 170, 138, 76);
    cairo_fill(cr);
    cairo_destroy(cr);
    return save(s, folder, "bell.png");
}

// A gilt frame around a small night landscape.
bool logo(const std::string& folder) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 128, 128);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* gold = cairo_pattern_create_linear(0, 0, 128, 128);
    cairo_pattern_add_color_stop_rgb(gold, 0, 236 / 255.0, 206 / 255.0, 128 / 255.0);
    cairo_pattern_add_color_stop_rgb(gold, 1, 122 / 255.0, 78 / 255.0, 28 / 255.0);
    cairo_rectangle(cr, 6, 6, 116, 116);
    cairo_set_source(cr, gold);
    cairo_fill(cr);
    cairo_pattern_destroy(gold);
    cairo_rectangle(cr, 22, 22, 84, 84);
    rgb(cr, 10, 18, 36);
    cairo_fill(cr);
    cairo_move_to(cr, 22, 106);
    cairo_line_to(cr, 50, 62);
    cairo_line_to(cr, 66, 84);
    cairo_line_to(cr, 80, 70);
    cairo_line_to(cr, 106, 106);
    cairo_close_path(cr);
    rgb(cr, 212, 175, 55);
    cairo_fill(cr);
    cairo_arc(cr, 84, 42, 9, 0, 2 * PI);
    rgb(cr, 236, 228, 204);
    cairo_fill(cr);
    cairo_destroy(cr);
    return save(s, folder, "logo.png");
}

// A wall of small frames, fading out at both ends.
bool banner(const std::string& folder) {
    const int w = 720, h = 160;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    const int fills[5][3] = {{10, 18, 36}, {122, 78, 28}, {48, 64, 96}, {168, 28, 24}, {36, 72, 56}};
    for (int i = 0; i < 7; ++i) {
        const double x = 24 + i * 100.0;
        const double fh = (i % 2 == 0) ? 96 : 72;
        const double y = (h - fh) / 2;
        const double fade = 1.0 - std::fabs(i - 3) * 0.22;
        cairo_rectangle(cr, x, y, 72, fh);
        rgb(cr, 168, 132, 48, fade);
        cairo_fill(cr);
        const int* c = fills[i % 5];
        cairo_rectangle(cr, x + 8, y + 8, 56, fh - 16);
        rgb(cr, c[0], c[1], c[2], fade);
        cairo_fill(cr);
    }
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, 0, h - 12);
    cairo_line_to(cr, w, h - 12);
    rgb(cr, 122, 78, 28, 0.5);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return save(s, folder, "banner.png");
}

// A gear for the Settings button.
bool settings(const std::string& folder) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 96, 96);
    cairo_t* cr = cairo_create(s);
    cairo_translate(cr, 48, 48);
    for (int i = 0; i < 8; ++i) {
        cairo_save(cr);
        cairo_rotate(cr, i * PI / 4);
        cairo_rectangle(cr, -7, -40, 14, 16);
        cairo_restore(cr);
    }
    rgb(cr, 72, 60, 44);
    cairo_fill(cr);
    cairo_arc(cr, 0, 0, 28, 0, 2 * PI);
    cairo_fill(cr);
    cairo_arc(cr, 0, 0, 11, 0, 2 * PI);
    rgb(cr, 198, 193, 187);
    cairo_fill(cr);
    cairo_destroy(cr);
    return save(s, folder, "settings.png");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_pictures FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = bell(folder) && logo(folder) && banner(folder) && settings(folder);
    return ok ? 0 : 1;
}
