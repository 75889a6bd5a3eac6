#include "shell/gtk/style.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "shell/layout.h"

namespace gtk_shell {

// Embedded from resources/*.png at build time.
extern const unsigned char BANNER_PNG[];
extern const std::size_t BANNER_PNG_SIZE;
extern const unsigned char LOGO_PNG[];
extern const std::size_t LOGO_PNG_SIZE;
extern const unsigned char BELL_PNG[];
extern const std::size_t BELL_PNG_SIZE;
extern const unsigned char SETTINGS_PNG[];
extern const std::size_t SETTINGS_PNG_SIZE;

namespace {

std::string css_rgb(shell::Rgb c) {
    return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// Every combination of chosen, hovered and pressed gets its own rule, so the colours
// come from shell::button_look alone and the theme's own button rules never show.
std::string button_css(int dpi) {
    const std::string base = std::string(".") + BUTTON_CLASS;
    std::string css = base + " { transition: none; background-image: none; box-shadow: none; text-shadow: none;"
                             " -gtk-icon-shadow: none; outline-style: none; padding: 0; min-height: 0;"
                             " min-width: 0; border-style: solid; border-radius: 4px; font-family: \"Segoe UI\","
                             " Cantarell, sans-serif; font-weight: normal; font-size: " +
                      std::to_string(shell::scaled(15, dpi)) + "px; }\n" + base + " label { color: inherit; }\n";
    for (int chosen = 0; chosen < 2; ++chosen)
        for (int hovered = 0; hovered < 2; ++hovered)
            for (int pressed = 0; pressed < 2; ++pressed) {
                const shell::ButtonLook look = shell::button_look(chosen, hovered, pressed);
                css += base + (chosen ? "." + std::string(CHOSEN_CLASS) : ":not(." + std::string(CHOSEN_CLASS) + ")") +
                       (hovered ? ":hover" : ":not(:hover)") + (pressed ? ":active" : ":not(:active)") +
                       " { background-color: " + css_rgb(look.face) + "; border-color: " + css_rgb(look.border) +
                       "; border-width: " + std::to_string(look.border_width) + "px; color: " + css_rgb(look.text) +
                       "; }\n";
            }
    const std::string picture_bg = css_rgb(shell::PICTURE_BUTTON_BACKGROUND);
    css += std::string(".") + PICTURE_CLASS + ", ." + PICTURE_CLASS + ":hover, ." + PICTURE_CLASS +
           ":active { background-image: none; background-color: " + picture_bg +
           "; transition: none; border: none; border-radius: 0; box-shadow: none; padding: 0; min-height: 0; min-width: 0;"
           " outline-style: none; }\n";
    css += std::string(".") + SIDE_CLASS + " { background-color: rgb(8,12,20); }\n";
    return css;
}

struct PngStream {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
};

cairo_status_t read_png(void* closure, unsigned char* out, unsigned int length) {
    auto* s = static_cast<PngStream*>(closure);
    if (length > s->size - s->at) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, s->data + s->at, length);
    s->at += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* decode(const unsigned char* data, std::size_t size) {
    PngStream stream{data, size, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(read_png, &stream);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

}  // namespace

void install_style() {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen || g_object_get_data(G_OBJECT(screen), "quenvale-style")) return;
    double resolution = gdk_screen_get_resolution(screen);
    const int dpi = resolution > 0 ? static_cast<int>(std::lround(resolution)) : shell::BASE_DPI;
    GtkCssProvider* provider = gtk_css_provider_new();
    const std::string css = button_css(dpi);
    gtk_css_provider_load_from_data(provider, css.c_str(), static_cast<gssize>(css.size()), nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    // The screen keeps the provider for as long as it lives.
    g_object_set_data_full(G_OBJECT(screen), "quenvale-style", provider, g_object_unref);
}

int widget_dpi(GtkWidget* widget) {
    GdkScreen* screen = widget ? gtk_widget_get_screen(widget) : gdk_screen_get_default();
    const double resolution = screen ? gdk_screen_get_resolution(screen) : -1;
    if (resolution <= 0) return shell::BASE_DPI;
    return static_cast<int>(std::lround(resolution));
}

cairo_surface_t* picture(Picture which) {
    static cairo_surface_t* banner = decode(BANNER_PNG, BANNER_PNG_SIZE);
    static cairo_surface_t* logo = decode(LOGO_PNG, LOGO_PNG_SIZE);
    static cairo_surface_t* bell = decode(BELL_PNG, BELL_PNG_SIZE);
    static cairo_surface_t* settings = decode(SETTINGS_PNG, SETTINGS_PNG_SIZE);
    switch (which) {
        case Picture::banner: return banner;
        case Picture::logo: return logo;
        case Picture::bell: return bell;
        case Picture::settings: return settings;
    }
    return nullptr;
}

void paint_picture(cairo_t* cr, Picture which, double x, double y, double w, double h) {
    cairo_surface_t* pic = picture(which);
    if (!pic || w <= 0 || h <= 0) return;
    const int pw = cairo_image_surface_get_width(pic);
    const int ph = cairo_image_surface_get_height(pic);
    if (pw <= 0 || ph <= 0) return;
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, w / pw, h / ph);
    cairo_set_source_surface(cr, pic, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_paint(cr);
    cairo_restore(cr);
}

void set_colour(cairo_t* cr, shell::Rgb colour, double alpha) {
    cairo_set_source_rgba(cr, colour.r / 255.0, colour.g / 255.0, colour.b / 255.0, alpha);
}

PangoLayout* text_layout(cairo_t* cr, const TextStyle& style, const std::string& text, int width) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, style.family);
    pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(font, std::max(1, style.px) * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    if (width > 0) {
        pango_layout_set_width(layout, width * PANGO_SCALE);
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    return layout;
}

void draw_text(cairo_t* cr, const TextStyle& style, const std::string& text, double x, double y, int width) {
    if (text.empty()) return;
    PangoLayout* layout = text_layout(cr, style, text, width);
    set_colour(cr, style.colour);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

void draw_text_centred(cairo_t* cr, const TextStyle& style, const std::string& text, double cx, double cy) {
    if (text.empty()) return;
    PangoLayout* layout = text_layout(cr, style, text);
    PangoRectangle ink;
    pango_layout_get_pixel_extents(layout, &ink, nullptr);
    set_colour(cr, style.colour);
    cairo_move_to(cr, cx - ink.x - ink.width / 2.0, cy - ink.y - ink.height / 2.0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

namespace {

// The hand over every button, as over the bell.
gboolean hand_on_enter(GtkWidget* widget, GdkEventCrossing* event, gpointer) {
    if (event->window) {
        GdkCursor* hand = gdk_cursor_new_from_name(gtk_widget_get_display(widget), "pointer");
        gdk_window_set_cursor(event->window, hand);
        if (hand) g_object_unref(hand);
    }
    return FALSE;
}

}  // namespace

void give_hand_cursor(GtkWidget* button) {
    g_signal_connect(button, "enter-notify-event", G_CALLBACK(hand_on_enter), nullptr);
}

GtkWidget* styled_button(const char* label, int width, int height) {
    GtkWidget* button = gtk_button_new_with_label(label);
    give_hand_cursor(button);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), BUTTON_CLASS);
    gtk_widget_set_size_request(button, width, height);
    return button;
}

void set_button_chosen(GtkWidget* button, bool chosen) {
    GtkStyleContext* context = gtk_widget_get_style_context(button);
    if (chosen)
        gtk_style_context_add_class(context, CHOSEN_CLASS);
    else
        gtk_style_context_remove_class(context, CHOSEN_CLASS);
}

}  // namespace gtk_shell
