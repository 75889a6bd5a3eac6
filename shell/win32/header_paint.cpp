// The header bar's picture: painted with GDI+ into a back buffer that is reused while
// none of its inputs changed, so the 800 ms tick costs a copy at most.
#include <algorithm>
#include <cmath>
#include <string>

#include "shell/palette.h"
#include "shell/win32/gdiplus_util.h"
#include "shell/win32/ui.h"

namespace win32_shell {

namespace {

constexpr double PI = 3.14159265358979323846;

// Rows are the input channels R, G, B, A, W (translation); the fifth column is GDI+'s
// unused homogeneous one.
const Gdiplus::ColorMatrix LIT_BELL{{{1.08f, 0.04f, 0, 0, 0},
                                     {0.04f, 1.02f, 0, 0, 0},
                                     {0, 0.02f, 0.72f, 0, 0},
                                     {0, 0, 0, 1, 0},
                                     {0.06f, 0.04f, 0.02f, 0, 1}}};
const Gdiplus::ColorMatrix UNLIT_BELL{{{1.15f, 0.02f, 0, 0, 0},
                                       {0.08f, 0.22f, 0, 0, 0},
                                       {0.02f, 0, 0.18f, 0, 0},
                                       {0, 0, 0, 1, 0},
                                       {0.04f, 0, 0, 0, 1}}};

// What the buffer was painted from.
struct Painted {
    int width = -1, height = -1, dpi = 0;
    std::string label, balance, facing_word;
    int facing_deg = 0, needle = 0;
    bool lit = false;
    std::size_t notes = 0;
    bool closing = false;
    bool operator==(const Painted&) const = default;
};

struct Buffer {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    Painted inputs;
};
Buffer buffer;

Painted current(int width, int height) {
    const Ui& u = ui();
    Painted p;
    p.width = width;
    p.height = height;
    p.dpi = u.dpi;
    p.label = u.header.label;
    p.balance = u.header.balance;
    p.facing_word = u.facing_word;
    p.facing_deg = u.facing_deg;
    p.needle = shell::needle_degrees(u.compass);
    p.lit = u.bell.lit;
    p.notes = u.notes.size();
    p.closing = u.closing;
    return p;
}

void text(Gdiplus::Graphics& g, Face face, float px, int style, shell::Rgb c, const std::wstring& s, float x, float y) {
    const Gdiplus::FontFamily* family = font_family(face);
    if (!family || s.empty() || px <= 0) return;
    Gdiplus::Font font(family, px, style, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush(colour(c));
    g.DrawString(s.c_str(), -1, &font, Gdiplus::PointF(x, y), &brush);
}

void text_centred(Gdiplus::Graphics& g, Face face, float px, int style, shell::Rgb c, const std::wstring& s, float cx,
                  float cy) {
    const Gdiplus::FontFamily* family = font_family(face);
    if (!family || s.empty() || px <= 0) return;
    Gdiplus::Font font(family, px, style, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush(colour(c));
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    g.DrawString(s.c_str(), -1, &font, Gdiplus::RectF(cx - px * 2, cy - px, px * 4, px * 2), &format, &brush);
}

void disc(Gdiplus::Graphics& g, const Gdiplus::Brush& brush, double cx, double cy, double r) {
    g.FillEllipse(&brush, static_cast<Gdiplus::REAL>(cx - r), static_cast<Gdiplus::REAL>(cy - r),
                  static_cast<Gdiplus::REAL>(2 * r), static_cast<Gdiplus::REAL>(2 * r));
}

Gdiplus::LinearGradientBrush vertical(double cy, double r, shell::Rgb from, shell::Rgb to) {
    return Gdiplus::LinearGradientBrush(Gdiplus::PointF(0, static_cast<Gdiplus::REAL>(cy - r - 1)),
                                        Gdiplus::PointF(0, static_cast<Gdiplus::REAL>(cy + r + 1)), colour(from),
                                        colour(to));
}

// The dial turns by -facing, bringing the facing direction to the top; the needle swings
// only by the wobble.
void paint_compass(Gdiplus::Graphics& g, const shell::Rect& rc, int facing_deg, int needle_deg) {
    if (rc.width() <= 0 || rc.height() <= 0) return;
    const double cx = rc.left + rc.width() / 2.0;
    const double cy = rc.top + rc.height() / 2.0;
    const double r = rc.height() / 2.0 - 1;
    if (r <= 2) return;
    disc(g, Gdiplus::SolidBrush(Gdiplus::Color(110, 0, 0, 0)), cx + 2, cy + 3, r);
    disc(g, vertical(cy, r, {236, 206, 128}, {112, 74, 28}), cx, cy, r);
    disc(g, Gdiplus::SolidBrush(Gdiplus::Color(255, 54, 38, 20)), cx, cy, 0.975 * r);
    const double face = 0.96 * r;
    disc(g, vertical(cy, face, {252, 246, 230}, {214, 196, 156}), cx, cy, face);
    Gdiplus::Pen outline(Gdiplus::Color(255, 140, 104, 52), 1.0f);
    g.DrawEllipse(&outline, static_cast<Gdiplus::REAL>(cx - face), static_cast<Gdiplus::REAL>(cy - face),
                  static_cast<Gdiplus::REAL>(2 * face), static_cast<Gdiplus::REAL>(2 * face));

    Gdiplus::Pen cardinal(Gdiplus::Color(255, 36, 28, 20), 1.7f);
    Gdiplus::Pen minor(Gdiplus::Color(170, 92, 68, 36), 1.0f);
    for (int i = 0; i < 72; ++i) {
        const int deg = i * 5;
        const double theta = (deg - facing_deg - 90) * PI / 180.0;
        const double inner = deg % 90 == 0 ? 0.7 : deg % 30 == 0 ? 0.8 : 0.87;
        g.DrawLine(deg % 90 == 0 ? &cardinal : &minor,
                   static_cast<Gdiplus::REAL>(cx + 0.95 * r * std::cos(theta)),
                   static_cast<Gdiplus::REAL>(cy + 0.95 * r * std::sin(theta)),
                   static_cast<Gdiplus::REAL>(cx + inner * r * std::cos(theta)),
                   static_cast<Gdiplus::REAL>(cy + inner * r * std::sin(theta)));
    }
    static const wchar_t* const letters[4] = {L"N", L"E", L"S", L"W"};
    for (int i = 0; i < 4; ++i) {
        const double theta = (i * 90 - facing_deg - 90) * PI / 180.0;
        const float px = static_cast<float>(i == 0 ? 0.3 * r : 0.78 * 0.3 * r);
        text_centred(g, Face::serif, px, i == 0 ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                     i == 0 ? shell::Rgb{168, 28, 24} : shell::Rgb{42, 34, 26}, letters[i],
                     static_cast<float>(cx + 0.52 * r * std::cos(theta)),
                     static_cast<float>(cy + 0.52 * r * std::sin(theta)));
    }

    const Gdiplus::GraphicsState saved = g.Save();
    g.TranslateTransform(static_cast<Gdiplus::REAL>(cx), static_cast<Gdiplus::REAL>(cy));
    g.RotateTransform(static_cast<Gdiplus::REAL>(needle_deg));
    const auto half = static_cast<Gdiplus::REAL>(0.07 * r);
    const auto reach = static_cast<Gdiplus::REAL>(0.66 * r);
    const Gdiplus::PointF north[3] = {{-half, 0}, {0, -reach}, {half, 0}};
    const Gdiplus::PointF south[3] = {{-half, 0}, {0, reach}, {half, 0}};
    Gdiplus::SolidBrush red(Gdiplus::Color(255, 186, 36, 28));
    Gdiplus::SolidBrush pale(Gdiplus::Color(255, 214, 218, 222));
    g.FillPolygon(&red, north, 3);
    g.FillPolygon(&pale, south, 3);
    g.Restore(saved);

    disc(g, Gdiplus::SolidBrush(Gdiplus::Color(255, 212, 168, 64)), cx, cy, 0.085 * r);
    disc(g, Gdiplus::SolidBrush(Gdiplus::Color(255, 72, 48, 22)), cx, cy, 0.035 * r);
    const Gdiplus::PointF marker[3] = {
        {static_cast<Gdiplus::REAL>(cx - 0.07 * r), static_cast<Gdiplus::REAL>(cy - r)},
        {static_cast<Gdiplus::REAL>(cx + 0.07 * r), static_cast<Gdiplus::REAL>(cy - r)},
        {static_cast<Gdiplus::REAL>(cx), static_cast<Gdiplus::REAL>(cy - 0.88 * r)}};
    Gdiplus::SolidBrush gold(Gdiplus::Color(255, 232, 188, 72));
    g.FillPolygon(&gold, marker, 3);
    Gdiplus::Pen glint(Gdiplus::Color(80, 255, 255, 255), static_cast<Gdiplus::REAL>(std::max(1.0, 0.06 * r)));
    g.DrawArc(&glint, static_cast<Gdiplus::REAL>(cx - 0.8 * r), static_cast<Gdiplus::REAL>(cy - 0.8 * r),
              static_cast<Gdiplus::REAL>(1.6 * r), static_cast<Gdiplus::REAL>(1.6 * r), 206.0f, 78.0f);
}

void paint_bell(Gdiplus::Graphics& g, const shell::Rect& r, std::size_t count, bool lit, int dpi) {
    if (r.width() <= 0 || r.height() <= 0) return;
    if (Gdiplus::Bitmap* bell = picture(IDR_BELL)) {
        const Gdiplus::Rect target(r.left, r.top, r.width(), r.height());
        const auto w = static_cast<INT>(bell->GetWidth());
        const auto h = static_cast<INT>(bell->GetHeight());
        if (count == 0) {
            g.DrawImage(bell, target);
        } else {
            Gdiplus::ImageAttributes tint;
            tint.SetColorMatrix(lit ? &LIT_BELL : &UNLIT_BELL);
            g.DrawImage(bell, target, 0, 0, w, h, Gdiplus::UnitPixel, &tint);
        }
    }
    if (count == 0) return;
    const int d = shell::scaled(16, dpi);
    const int inset = shell::scaled(1, dpi);
    const double cx = r.right - inset - d / 2.0;
    const double cy = r.top + inset + d / 2.0;
    disc(g, Gdiplus::SolidBrush(colour(shell::BADGE_FILL)), cx, cy, d / 2.0);
    text_centred(g, Face::ui, static_cast<float>(shell::scaled(10, dpi)), Gdiplus::FontStyleRegular, shell::BADGE_TEXT,
                 widen(shell::badge_text(count)), static_cast<float>(cx), static_cast<float>(cy));
}

void paint_all(HDC dc, const Painted& p) {
    const Ui& u = ui();
    auto s = [&p](int n) { return shell::scaled(n, p.dpi); };
    const int w = p.width, h = p.height;
    Gdiplus::Graphics g(dc);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    g.Clear(colour(shell::HEADER_BACKGROUND));

    const int banner_left = s(430);
    const int banner_width = w - s(280) - banner_left;
    if (Gdiplus::Bitmap* banner = picture(IDR_BANNER); banner && banner_width > 0) {
        const double pw = banner->GetWidth(), ph = banner->GetHeight();
        const double k = std::min(banner_width / pw, h / ph);
        const double dw = pw * k, dh = ph * k;
        g.DrawImage(banner, static_cast<Gdiplus::REAL>(banner_left + (banner_width - dw) / 2),
                    static_cast<Gdiplus::REAL>((h - dh) / 2), static_cast<Gdiplus::REAL>(dw),
                    static_cast<Gdiplus::REAL>(dh));
    }
    const int logo = s(74);
    if (Gdiplus::Bitmap* l = picture(IDR_LOGO)) g.DrawImage(l, Gdiplus::Rect(s(18), (h - logo) / 2, logo, logo));

    const auto text_x = static_cast<float>(s(18) + s(74) + s(14));
    const int y0 = (h - s(58)) / 2;
    text(g, Face::serif, static_cast<float>(s(26)), Gdiplus::FontStyleRegular, shell::HEADER_NAME, L"Quenvale", text_x,
         static_cast<float>(y0));
    // While the close path waits for running operations, the label says why the window stays.
    const std::wstring label = p.closing ? std::wstring(FINISHING_TEXT) : widen(p.label);
    text(g, Face::ui, static_cast<float>(s(14)), Gdiplus::FontStyleRegular, shell::HEADER_LABEL, label, text_x,
         static_cast<float>(y0 + s(26)));
    text(g, Face::ui, static_cast<float>(s(14)), Gdiplus::FontStyleRegular, shell::HEADER_BALANCE, widen(p.balance), text_x,
         static_cast<float>(y0 + s(44)));

    paint_compass(g, u.layout.compass_rect, p.facing_deg, p.needle);
    paint_bell(g, u.layout.bell_rect, p.notes, p.lit, p.dpi);
}

}  // namespace

void release_header_buffer() {
    if (buffer.dc) {
        SelectObject(buffer.dc, buffer.old);
        DeleteDC(buffer.dc);
    }
    if (buffer.bitmap) DeleteObject(buffer.bitmap);
    buffer = Buffer{};
}

void paint_header(HDC dc, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const Painted wanted = current(width, height);
    if (!buffer.dc || !(buffer.inputs == wanted)) {
        if (!buffer.dc || buffer.inputs.width != width || buffer.inputs.height != height) {
            release_header_buffer();
            buffer.dc = CreateCompatibleDC(dc);
            buffer.bitmap = CreateCompatibleBitmap(dc, width, height);
            if (!buffer.dc || !buffer.bitmap) {
                release_header_buffer();
                return;
            }
            buffer.old = SelectObject(buffer.dc, buffer.bitmap);
        }
        paint_all(buffer.dc, wanted);
        buffer.inputs = wanted;
    }
    BitBlt(dc, 0, 0, width, height, buffer.dc, 0, 0, SRCCOPY);
}

void invalidate_bar_rect(const shell::Rect& r) {
    if (!ui().bar || r.width() <= 0 || r.height() <= 0) return;
    const RECT area = to_rect(r);
    InvalidateRect(ui().bar, &area, FALSE);
}

}  // namespace win32_shell
