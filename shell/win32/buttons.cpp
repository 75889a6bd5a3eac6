// The owner-drawn buttons of every window: hover tracking in a subclass, painting through
// an off-screen bitmap with the colours and chosen state of shell/buttons.
#include <windowsx.h>

#include "shell/buttons.h"
#include "shell/win32/gdiplus_util.h"
#include "shell/win32/ui.h"

namespace win32_shell {

namespace {

WNDPROC button_class_proc = nullptr;  // the "BUTTON" class's own, from the first button

void repaint(HWND button) {
    if (button && IsWindow(button)) InvalidateRect(button, nullptr, FALSE);
}

LRESULT CALLBACK button_proc(HWND button, UINT message, WPARAM wparam, LPARAM lparam) {
    Ui& u = ui();
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */));
        return 1;
    case WM_MOUSEMOVE:
        if (u.hovered_button != button) {
            HWND previous = u.hovered_button;
            u.hovered_button = button;
            repaint(previous);
            repaint(button);
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, button, 0};
            TrackMouseEvent(&track);
        }
        break;
    case WM_MOUSELEAVE:
        if (u.hovered_button == button) {
            u.hovered_button = nullptr;
            repaint(button);
        }
        break;
    case WM_DESTROY:
        if (u.hovered_button == button) u.hovered_button = nullptr;
        break;
    default:
        break;
    }
    return CallWindowProcW(button_class_proc, button, message, wparam, lparam);
}

void draw_picture_button(HDC dc, int w, int h) {
    Gdiplus::Graphics g(dc);
    g.Clear(colour(shell::PICTURE_BUTTON_BACKGROUND));
    if (Gdiplus::Bitmap* p = picture(IDR_SETTINGS_PICTURE)) {
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.DrawImage(p, Gdiplus::Rect(0, 0, w, h));
    }
}

void draw_text_button(HDC dc, HWND button, int w, int h, const shell::ButtonLook& look) {
    HBRUSH face = CreateSolidBrush(colorref(look.face));
    RECT all{0, 0, w, h};
    FillRect(dc, &all, face);
    DeleteObject(face);
    HPEN pen = CreatePen(PS_SOLID, look.border_width, colorref(look.border));
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, 0, 0, w - 1, h - 1, 8, 8);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(pen);

    wchar_t text[81] = {};
    GetWindowTextW(button, text, 81);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colorref(look.text));
    HGDIOBJ old_font = SelectObject(dc, ui().font ? static_cast<HGDIOBJ>(ui().font) : GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, text, -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old_font);
}

}  // namespace

HWND make_button(HWND parent, const wchar_t* text, int id) {
    HWND button = CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 10, 10,
                                  parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ui().instance, nullptr);
    if (!button) return nullptr;
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(ui().font), TRUE);
    const auto previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(button_proc)));
    if (!button_class_proc) button_class_proc = previous;
    return button;
}

void draw_button(const DRAWITEMSTRUCT& item) {
    const int w = item.rcItem.right - item.rcItem.left;
    const int h = item.rcItem.bottom - item.rcItem.top;
    if (w <= 0 || h <= 0) return;
    HDC memory = CreateCompatibleDC(item.hDC);
    HBITMAP bitmap = CreateCompatibleBitmap(item.hDC, w, h);
    if (!memory || !bitmap) {
        if (bitmap) DeleteObject(bitmap);
        if (memory) DeleteDC(memory);
        return;
    }
    HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    const int id = static_cast<int>(item.CtlID);
    if (id == shell::ID_SETTINGS) {
        draw_picture_button(memory, w, h);
    } else {
        const bool chosen = shell::button_chosen(id, ui().look);
        const bool hovered = item.hwndItem == ui().hovered_button;
        const bool pressed = (item.itemState & ODS_SELECTED) != 0;
        draw_text_button(memory, item.hwndItem, w, h, shell::button_look(chosen, hovered, pressed));
    }
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

}  // namespace win32_shell
