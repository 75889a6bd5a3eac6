// The three dark side windows owned by the main window: Settings (status line, Camera,
// Terms of use), Camera (drag speed and frame rate) and Terms of use.
#include <dwmapi.h>

#include <string>

#include "bridge/handlers.h"
#include "shell/buttons.h"
#include "shell/palette.h"
#include "shell/view_settings.h"
#include "shell/win32/gdiplus_util.h"
#include "shell/win32/ui.h"
#include "shell/win32/update_check.h"

namespace win32_shell {

namespace {

constexpr shell::Rgb SIDE_CAPTION{10, 18, 36};
constexpr shell::Rgb SIDE_CAPTION_TEXT{236, 228, 204};

// The Settings window's status line is a static control, so its text can be read like
// any window's.
constexpr int ID_STATUS_LINE = 301;
constexpr const wchar_t* UPDATE_NOTICE = L"Update available";
constexpr const wchar_t* MAKER_NOTICE = L"Quenvale holds no keys of its own.";

int s(int n) { return shell::scaled(n, ui().dpi); }

HBRUSH background_brush() {
    static HBRUSH brush = CreateSolidBrush(colorref(shell::SIDE_BACKGROUND));
    return brush;
}

bool register_side_class(const wchar_t* name, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (GetClassInfoExW(ui().instance, name, &wc)) return true;
    wc.lpfnWndProc = proc;
    wc.hInstance = ui().instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.hbrBackground = background_brush();
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

HWND open_side(HWND& slot, const wchar_t* cls, WNDPROC proc, const wchar_t* title, int x, int y, int w, int h) {
    if (slot) {
        SetForegroundWindow(slot);
        return slot;
    }
    if (!register_side_class(cls, proc)) return nullptr;
    slot = CreateWindowExW(0, cls, title, WS_VISIBLE | WS_CAPTION | WS_SYSMENU, x, y, s(w), s(h), ui().main, nullptr,
                           ui().instance, nullptr);
    if (slot) apply_side_look(slot);
    return slot;
}

HFONT heading_font(int px) {
    return CreateFontW(-s(px), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Georgia");
}

void put_text(HDC dc, HFONT font, shell::Rgb c, const wchar_t* text, RECT r, UINT extra = 0) {
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, colorref(c));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &r, DT_SINGLELINE | DT_NOPREFIX | extra);
    SelectObject(dc, old);
}

int client_width(HWND window) {
    RECT rc;
    GetClientRect(window, &rc);
    return rc.right;
}

void place_button(HWND parent, const wchar_t* text, int id, int x, int y, int w, int h) {
    if (HWND b = make_button(parent, text, id)) MoveWindow(b, s(x), s(y), s(w), s(h), FALSE);
}

// ---- Camera ----

LRESULT CALLBACK camera_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        place_button(window, L"Steady", shell::ID_STEADY, 28, 108, 150, 36);
        place_button(window, L"Quick", shell::ID_QUICK, 190, 108, 150, 36);
        place_button(window, L"30", shell::ID_FPS_30, 28, 228, 78, 36);
        place_button(window, L"60", shell::ID_FPS_60, 114, 228, 78, 36);
        place_button(window, L"90", shell::ID_FPS_90, 200, 228, 78, 36);
        place_button(window, L"120", shell::ID_FPS_120, 286, 228, 78, 36);
        place_button(window, L"Close", shell::ID_CAMERA_CLOSE, 150, 286, 130, 36);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        const int w = client_width(window);
        HFONT heading = heading_font(22);
        put_text(dc, heading, shell::SIDE_HEADING, L"Look", {s(28), s(22), w - s(20), s(58)});
        put_text(dc, ui().font, shell::SIDE_TEXT, L"Drag speed in the room.", {s(28), s(62), w - s(24), s(96)});
        put_text(dc, heading, shell::SIDE_HEADING, L"Frame rate", {s(28), s(162), w - s(20), s(198)});
        put_text(dc, ui().font, shell::SIDE_TEXT, L"Frames each second. A steady rate is kinder.",
                 {s(28), s(196), w - s(24), s(224)});
        DeleteObject(heading);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_DRAWITEM:
        draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return 1;
    case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (id == shell::ID_CAMERA_CLOSE) {
            DestroyWindow(window);
            return 0;
        }
        bridge::LookSettings& look = ui().look;
        if (id == shell::ID_STEADY || id == shell::ID_QUICK)
            look.quick = id == shell::ID_QUICK;
        else if (const int fps = shell::button_fps(id); fps > 0)
            look.fps = fps;
        else
            return 0;
        std::string error;
        shell::write_look(ui().data_folder, look, error);  // a failed write keeps the choice for this run
        bridge::send_look();
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return 0;
    }
    case WM_DESTROY:
        ui().camera = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// ---- Terms of use ----

struct Card {
    const wchar_t* heading;
    const wchar_t* first;
    const wchar_t* second;
};
constexpr Card CARDS[] = {
    {L"The room", L"You place your own artwork on a frame.", L"Wendrel pays the fee. The chain keeps the record."},
    {L"What may be shown", L"A picture or a PDF you have the right to show.", nullptr},
    {L"Not allowed", L"Strictly no graphic content.", L"No nudity. No gore. Nothing illegal."},
    {L"If a piece breaks these terms", L"It is taken down, with every ask and offer on it.", L"No refund is given."},
    {L"The coins", L"Taking a piece off the wall does not move the artwork.", L"You still hold the coins."},
};

LRESULT CALLBACK terms_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        place_button(window, L"Close", shell::ID_TERMS_CLOSE, 170, 520, 130, 36);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        const int w = client_width(window);
        HFONT heading = heading_font(18);
        HBRUSH card_brush = CreateSolidBrush(colorref(shell::SIDE_CARD));
        int top = s(18);
        for (const Card& c : CARDS) {
            const int height = s(c.second ? 86 : 64);
            const RECT card{s(18), top, w - s(18), top + height};
            FillRect(dc, &card, card_brush);
            put_text(dc, heading, shell::SIDE_HEADING, c.heading, {card.left + s(14), top + s(8), card.right - s(12), top + s(32)},
                     DT_END_ELLIPSIS);
            put_text(dc, ui().font, shell::SIDE_TEXT, c.first, {card.left + s(14), top + s(34), card.right - s(12), top + s(54)},
                     DT_END_ELLIPSIS);
            if (c.second)
                put_text(dc, ui().font, shell::SIDE_TEXT, c.second,
                         {card.left + s(14), top + s(54), card.right - s(12), top + s(76)}, DT_END_ELLIPSIS);
            top += height + s(10);
        }
        DeleteObject(card_brush);
        DeleteObject(heading);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_DRAWITEM:
        draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return 1;
    case WM_COMMAND:
        if (LOWORD(wparam) == shell::ID_TERMS_CLOSE) DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ui().terms = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// ---- Settings ----

const wchar_t* status_text() { return ui().update_available ? UPDATE_NOTICE : ui().status_line.c_str(); }

LRESULT CALLBACK settings_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: {
        place_button(window, L"Camera", shell::ID_CAMERA, 28, 72, 360, 36);
        place_button(window, L"Terms of use", shell::ID_TERMS, 28, 120, 360, 36);
        place_button(window, L"Close", shell::ID_SETTINGS_CLOSE, 143, 250, 130, 36);
        const int w = client_width(window);
        HWND status = CreateWindowExW(0, L"STATIC", status_text(),
                                      WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOTIFY | SS_ENDELLIPSIS | SS_NOPREFIX,
                                      s(28), s(176), w - s(24) - s(28), s(28), window,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_STATUS_LINE)), ui().instance,
                                      nullptr);
        if (status) SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(ui().font), FALSE);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, colorref(ui().update_available ? shell::SIDE_NOTICE : shell::SIDE_TEXT));
        SetBkColor(dc, colorref(shell::SIDE_BACKGROUND));
        return reinterpret_cast<LRESULT>(background_brush());
    }
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) == GetDlgItem(window, ID_STATUS_LINE) && ui().update_available) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */));
            return 1;
        }
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        const int w = client_width(window);
        HFONT heading = heading_font(22);
        put_text(dc, heading, shell::SIDE_HEADING, L"Settings", {s(28), s(18), w - s(20), s(54)});
        put_text(dc, ui().font, shell::SIDE_MAKER_TEXT, MAKER_NOTICE, {s(28), s(206), w - s(24), s(234)}, DT_END_ELLIPSIS);
        DeleteObject(heading);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_DRAWITEM:
        draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return 1;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case ID_STATUS_LINE:
            if (HIWORD(wparam) == STN_CLICKED) open_update_page();
            return 0;
        case shell::ID_CAMERA:
            open_side(ui().camera, CAMERA_CLASS, camera_proc, L"Camera", 220, 150, 440, 390);
            return 0;
        case shell::ID_TERMS:
            open_side(ui().terms, TERMS_CLASS, terms_proc, L"Terms of use", 240, 80, 500, 620);
            return 0;
        case shell::ID_SETTINGS_CLOSE:
            DestroyWindow(window);
            return 0;
        default:
            return 0;
        }
    case WM_DESTROY:
        if (ui().camera) DestroyWindow(ui().camera);
        if (ui().terms) DestroyWindow(ui().terms);
        ui().settings = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void set_dwm_colour(HWND window, DWORD attribute, shell::Rgb c) {
    const COLORREF value = colorref(c);
    DwmSetWindowAttribute(window, attribute, &value, sizeof(value));
}

}  // namespace

void apply_side_look(HWND window) {
    const BOOL dark = TRUE;
    DwmSetWindowAttribute(window, 20 /* immersive dark mode */, &dark, sizeof(dark));
    set_dwm_colour(window, 35 /* caption */, SIDE_CAPTION);
    set_dwm_colour(window, 34 /* border */, SIDE_CAPTION);
    set_dwm_colour(window, 36 /* caption text */, SIDE_CAPTION_TEXT);
    const auto load = [](int cx, int cy) {
        return static_cast<HICON>(
            LoadImageW(ui().instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, cx, cy, LR_SHARED | LR_DEFAULTCOLOR));
    };
    if (HICON big = load(0, 0)) SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (HICON small_icon = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)))
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
}

void open_settings() {
    open_side(ui().settings, SETTINGS_CLASS, settings_proc, L"Settings", 180, 120, 440, 340);
}

void refresh_settings() {
    HWND window = ui().settings;
    if (!window) return;
    if (HWND status = GetDlgItem(window, ID_STATUS_LINE)) {
        SetWindowTextW(status, status_text());
        InvalidateRect(status, nullptr, TRUE);
    }
    InvalidateRect(window, nullptr, TRUE);
}

}  // namespace win32_shell
