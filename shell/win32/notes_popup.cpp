// The notes popup under the bell: "Your turn" and one row per waiting step; choosing a
// row opens that frame in the room.
#include <windowsx.h>

#include "bridge/handlers.h"
#include "shell/notes_popup.h"
#include "shell/win32/gdiplus_util.h"
#include "shell/win32/ui.h"

namespace win32_shell {

namespace {

constexpr shell::Rgb FILL{10, 18, 36};
constexpr shell::Rgb GOLD{212, 175, 55};
constexpr shell::Rgb EMPTY_TEXT{168, 148, 96};
constexpr shell::Rgb HOVER_FILL{28, 40, 64};
constexpr shell::Rgb ROW_TEXT{236, 228, 204};

void draw_string(Gdiplus::Graphics& g, Face face, int px, shell::Rgb c, const std::wstring& s, int x, int y) {
    const Gdiplus::FontFamily* family = font_family(face);
    if (!family || px <= 0) return;
    Gdiplus::Font font(family, static_cast<Gdiplus::REAL>(px), Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush(colour(c));
    g.DrawString(s.c_str(), -1, &font, Gdiplus::PointF(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y)),
                 &brush);
}

void paint(HDC dc, int w, int h) {
    const Ui& u = ui();
    auto s = [&u](int n) { return shell::scaled(n, u.dpi); };
    Gdiplus::Graphics g(dc);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    g.Clear(colour(FILL));
    Gdiplus::Pen gold(colour(GOLD), 1.0f);
    g.DrawRectangle(&gold, 0, 0, w - 1, h - 1);
    draw_string(g, Face::serif, s(16), GOLD, L"Your turn", s(14), s(10));
    g.DrawLine(&gold, s(14), s(36), w - s(14), s(36));
    if (u.notes.empty()) {
        draw_string(g, Face::ui, s(14), EMPTY_TEXT, L"Nothing is waiting on you.", s(14), s(46));
        return;
    }
    for (std::size_t i = 0; i < u.notes.size(); ++i) {
        const int top = shell::notes_row_top(static_cast<int>(i), u.dpi);
        if (static_cast<int>(i) == u.notes_hover) {
            Gdiplus::SolidBrush hover(colour(HOVER_FILL));
            g.FillRectangle(&hover, s(8), top, w - s(16), s(32));
        }
        draw_string(g, Face::ui, s(14), ROW_TEXT, widen(u.notes[i].text), s(14), top + s(6));
    }
}

void set_hover(HWND popup, int row) {
    if (ui().notes_hover == row) return;
    ui().notes_hover = row;
    InvalidateRect(popup, nullptr, FALSE);
}

}  // namespace

void position_notes_popup() {
    Ui& u = ui();
    if (!u.notes_popup || !u.bar) return;
    POINT origin{0, 0};
    ClientToScreen(u.bar, &origin);
    const shell::Rect& bell = u.layout.bell_rect;
    const shell::Rect on_screen =
        shell::rect_at(origin.x + bell.left, origin.y + bell.top, bell.width(), bell.height());
    const shell::Rect r = shell::position_notes_popup(on_screen, u.notes.size(), u.dpi);
    SetWindowPos(u.notes_popup, HWND_TOP, r.left, r.top, r.width(), r.height(), SWP_NOACTIVATE);
}

LRESULT CALLBACK notes_popup_proc(HWND popup, UINT message, WPARAM wparam, LPARAM lparam) {
    Ui& u = ui();
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(popup, &ps);
        RECT rc;
        GetClientRect(popup, &rc);
        const int w = rc.right, h = rc.bottom;
        if (w > 0 && h > 0) {
            HDC memory = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
            if (memory && bitmap) {
                HGDIOBJ old = SelectObject(memory, bitmap);
                paint(memory, w, h);
                BitBlt(dc, 0, 0, w, h, memory, 0, 0, SRCCOPY);
                SelectObject(memory, old);
            }
            if (bitmap) DeleteObject(bitmap);
            if (memory) DeleteDC(memory);
        }
        EndPaint(popup, &ps);
        return 0;
    }
    case WM_MOUSEMOVE: {
        set_hover(popup, shell::notes_row_at(GET_Y_LPARAM(lparam), u.notes.size(), u.dpi));
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, popup, 0};
        TrackMouseEvent(&track);
        return 0;
    }
    case WM_MOUSELEAVE:
        set_hover(popup, -1);
        return 0;
    case WM_SETCURSOR: {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(popup, &p);
        if (shell::notes_row_at(p.y, u.notes.size(), u.dpi) >= 0) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */));
            return 1;
        }
        break;
    }
    case WM_LBUTTONUP: {
        const int row = shell::notes_row_at(GET_Y_LPARAM(lparam), u.notes.size(), u.dpi);
        if (row < 0) return 0;
        const int spot = u.notes[static_cast<std::size_t>(row)].spot;
        ShowWindow(popup, SW_HIDE);
        if (!u.closing) bridge::on_select(spot);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(popup, message, wparam, lparam);
}

}  // namespace win32_shell
