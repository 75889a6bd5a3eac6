#pragma once
// The look shared by the header bar, the notes popup and the side windows: the CSS of
// the buttons, the embedded pictures, the two font families and small cairo helpers.
// User-interface thread only.
#include <cairo.h>
#include <gtk/gtk.h>

#include <string>

#include "shell/buttons.h"

namespace gtk_shell {

// Loads the CSS of the header buttons once per screen.
void install_style();

// CSS classes the style defines.
inline constexpr const char* BUTTON_CLASS = "quenvale-button";    // the owner-drawn look
inline constexpr const char* CHOSEN_CLASS = "chosen";             // with BUTTON_CLASS
inline constexpr const char* PICTURE_CLASS = "quenvale-picture";  // the Settings picture button
inline constexpr const char* SIDE_CLASS = "quenvale-side";        // side window background

// Georgia where it exists; Pango falls back along the list.
inline constexpr const char* SERIF_FAMILY = "Georgia, serif";
inline constexpr const char* UI_FAMILY = "Segoe UI, Cantarell, sans-serif";

// The resolution the shell's scaled() lengths are computed at: the screen's font
// resolution (96 unless the desktop scales text), in GTK's logical pixels.
int widget_dpi(GtkWidget* widget);

enum class Picture { banner, logo, bell, settings };
// Decoded once from the embedded PNG and kept; null when it cannot be decoded.
cairo_surface_t* picture(Picture which);
// Paints a picture stretched over x, y, w × h (nothing without the picture).
void paint_picture(cairo_t* cr, Picture which, double x, double y, double w, double h);

void set_colour(cairo_t* cr, shell::Rgb colour, double alpha = 1.0);

struct TextStyle {
    const char* family = UI_FAMILY;
    int px = 14;  // absolute size in logical pixels
    bool bold = false;
    shell::Rgb colour;
};
// A Pango layout for one line of text (caller unrefs). width > 0 ends a text that does
// not fit in an ellipsis.
PangoLayout* text_layout(cairo_t* cr, const TextStyle& style, const std::string& text, int width = -1);
// One line with its top left at x, y.
void draw_text(cairo_t* cr, const TextStyle& style, const std::string& text, double x, double y,
               int width = -1);
// One line centred on cx, cy (ink extents).
void draw_text_centred(cairo_t* cr, const TextStyle& style, const std::string& text, double cx,
                       double cy);

// A GtkButton in the owner-drawn look, of the given size.
GtkWidget* styled_button(const char* label, int width, int height);
void set_button_chosen(GtkWidget* button, bool chosen);
// The hand cursor while the pointer is over the button.
void give_hand_cursor(GtkWidget* button);

}  // namespace gtk_shell
