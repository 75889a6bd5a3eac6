#pragma once
// GDI+ pieces the painters share: the embedded pictures, fonts that fall back when a
// family is not installed (Wine has neither Georgia nor Segoe UI), and colours.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "shell/buttons.h"

namespace win32_shell {

// The RCDATA picture decoded once, at 96 dpi; nullptr when it is missing or not a picture.
Gdiplus::Bitmap* picture(int id);
// Drops the decoded pictures (before GDI+ shuts down).
void release_pictures();

enum class Face { serif, ui };
// A family of the face that exists on this system, or nullptr (then no text is drawn).
const Gdiplus::FontFamily* font_family(Face face);
void release_font_families();

inline Gdiplus::Color colour(shell::Rgb c, BYTE alpha = 255) { return Gdiplus::Color(alpha, c.r, c.g, c.b); }
inline COLORREF colorref(shell::Rgb c) { return RGB(c.r, c.g, c.b); }

}  // namespace win32_shell
