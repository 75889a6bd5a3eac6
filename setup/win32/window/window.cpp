// The setup window on Windows: GDI for text and fills, GDI+ for the picture and the
// antialiased rounded shapes, owner-drawn buttons with a hover state, and the engine run
// on this thread (it pumps pending messages between files through Driver::refresh).

#include "setup/win32/window/window.h"

#include <windows.h>
#include <commctrl.h>
#include <dwmapi.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <string>

// The GDI+ headers use min and max unqualified; NOMINMAX removed the macros.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "platform/win32/wide.h"
#include "setup/engine.h"
#include "setup/look.h"
#include "setup/places.h"
#include "setup/progress.h"
#include "setup/table.h"
#include "shell/layout.h"

namespace setup_win32 {

namespace {

// Arms CLOSE once a double click's time has passed after the install.
constexpr UINT_PTR CLOSE_ARM_TIMER = 1;

using setup::Box;
using setup::Rgb;

struct Fonts {
    HFONT body = nullptr, title = nullptr, label = nullptr, small = nullptr, address = nullptr;
};

struct Ui {
    setup::CommandLine command_line;
    HINSTANCE instance = nullptr;
    HWND window = nullptr, folder = nullptr, browse = nullptr, action = nullptr, status = nullptr;
    int dpi = shell::BASE_DPI;
    int client_w = 0, client_h = 0;
    Fonts fonts;
    HBRUSH background = nullptr, panel = nullptr;
    Gdiplus::Bitmap* picture = nullptr;
    bool removal = false;
    bool install_done = false;     // the action button reads CLOSE
    bool close_armed = false;      // a double click's time has passed since it began to
    bool close_requested = false;  // closed while the engine worked
    RECT wallet_link{}, program_link{};
};

Ui& ui() {
    static Ui u;
    return u;
}

int S(int n) { return shell::scaled(n, ui().dpi); }
COLORREF colour(Rgb c) { return RGB(c.r, c.g, c.b); }
Gdiplus::Color plus_colour(Rgb c) { return Gdiplus::Color(255, c.r, c.g, c.b); }
std::wstring W(const std::string& s) { return platform::win32::widen(s); }

setup::Layout layout() {
    const Ui& u = ui();
    return setup::window_layout(u.dpi, u.client_w ? u.client_w : setup::client_width(u.dpi),
                                u.client_h ? u.client_h : setup::client_height(u.dpi));
}

// Entry points newer than Windows 7 are looked up, so the program starts everywhere.
template <typename F>
F user32_entry(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

int system_dpi() {
    if (auto get = user32_entry<UINT(WINAPI*)()>("GetDpiForSystem")) return static_cast<int>(get());
    HDC dc = ::GetDC(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSX) : shell::BASE_DPI;
    if (dc) ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : shell::BASE_DPI;
}

HMONITOR monitor_under_mouse() {
    POINT p{};
    ::GetCursorPos(&p);
    return ::MonitorFromPoint(p, MONITOR_DEFAULTTOPRIMARY);
}

int monitor_dpi(HMONITOR monitor) {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static HMODULE shcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (shcore) {
        auto get = reinterpret_cast<GetDpiForMonitorFn>(
            reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")));
        UINT x = 0, y = 0;
        if (get && SUCCEEDED(get(monitor, 0 /* effective DPI */, &x, &y)) && x > 0) return static_cast<int>(x);
    }
    return system_dpi();
}

HFONT make_font(const wchar_t* face, int height, bool bold, bool underline) {
    return ::CreateFontW(-S(height), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, face);
}

void free_fonts() {
    Fonts& f = ui().fonts;
    for (HFONT h : {f.body, f.title, f.label, f.small, f.address}) {
        if (h) ::DeleteObject(h);
    }
    f = Fonts{};
}

void make_fonts() {
    free_fonts();
    Fonts& f = ui().fonts;
    f.body = make_font(L"Segoe UI", 22, false, false);
    f.title = make_font(L"Segoe UI", 42, true, false);
    f.label = make_font(L"Consolas", 18, true, false);
    f.small = make_font(L"Segoe UI", 16, false, false);
    f.address = make_font(L"Segoe UI", 22, false, true);
}

// The picture is a PNG carried as an RCDATA resource.
Gdiplus::Bitmap* load_picture() {
    HINSTANCE inst = ui().instance;
    HRSRC found = ::FindResourceW(inst, MAKEINTRESOURCEW(RESOURCE_PICTURE), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found) return nullptr;
    const DWORD size = ::SizeofResource(inst, found);
    HGLOBAL loaded = ::LoadResource(inst, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;
    IStream* stream = ::SHCreateMemStream(static_cast<const BYTE*>(bytes), size);
    if (!stream) return nullptr;
    Gdiplus::Bitmap* bitmap = Gdiplus::Bitmap::FromStream(stream);
    stream->Release();
    if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok) {
        delete bitmap;
        bitmap = nullptr;
    }
    return bitmap;
}

void rounded_path(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float r) {
    const float d = 2 * r;
    path.AddArc(x, y, d, d, 180, 90);
    path.AddArc(x + w - d, y, d, d, 270, 90);
    path.AddArc(x + w - d, y + h - d, d, d, 0, 90);
    path.AddArc(x, y + h - d, d, d, 90, 90);
    path.CloseFigure();
}

// One line of text at x, y; answers its rectangle.
RECT text_at(HDC dc, HFONT font, Rgb c, const std::string& text, int x, int y) {
    ::SelectObject(dc, font);
    ::SetTextColor(dc, colour(c));
    const std::wstring w = W(text);
    RECT r{x, y, x, y};
    ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_SINGLELINE | DT_NOPREFIX);
    return r;
}

void fill(HDC dc, const Box& b, Rgb c) {
    HBRUSH brush = ::CreateSolidBrush(colour(c));
    RECT r{b.x, b.y, b.x + b.width, b.y + b.height};
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
}

void frame(HDC dc, const Box& b, Rgb c) {
    HBRUSH brush = ::CreateSolidBrush(colour(c));
    RECT r{b.x, b.y, b.x + b.width, b.y + b.height};
    ::FrameRect(dc, &r, brush);
    ::DeleteObject(brush);
}

void paint_options(HDC dc, Gdiplus::Graphics& g, const setup::Layout& l) {
    for (int row = 0; row < setup::OPTION_ROWS; ++row) {
        const int box = S(22);
        const int bx = l.margin;
        const int by = l.options_y + row * l.row_h + (l.row_h - box) / 2;
        const bool on = setup::option_value(row);
        Gdiplus::GraphicsPath path;
        rounded_path(path, bx + 0.5f, by + 0.5f, box - 1.0f, box - 1.0f, static_cast<float>(S(5)));
        Gdiplus::SolidBrush brush(plus_colour(on ? setup::TICKED : setup::PANEL));
        g.FillPath(&brush, &path);
        Gdiplus::Pen border(plus_colour(on ? setup::GOLD : setup::LINE), 1);
        g.DrawPath(&border, &path);
        if (on) {
            Gdiplus::Pen tick(plus_colour(setup::GOLD), 3);
            const Gdiplus::PointF points[] = {
                {static_cast<float>(bx + S(5)), static_cast<float>(by + S(12))},
                {static_cast<float>(bx + S(9)), static_cast<float>(by + S(17))},
                {static_cast<float>(bx + S(17)), static_cast<float>(by + S(6))}};
            g.DrawLines(&tick, points, 3);
        }
        text_at(dc, ui().fonts.body, setup::TEXT, setup::option_label(row), bx + S(32), by + box / 2 - S(15));
    }
}

void paint(HDC dc) {
    Ui& u = ui();
    const setup::Layout l = layout();
    fill(dc, {0, 0, l.w, l.h}, setup::BACKGROUND);
    ::SetBkMode(dc, TRANSPARENT);
    Gdiplus::Graphics g(dc);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    if (u.picture) {
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.DrawImage(u.picture, l.picture.x, l.picture.y, l.picture.width, l.picture.height);
    }

    const int y0 = S(28);
    const int right = l.w - l.margin;
    text_at(dc, u.fonts.label, setup::GOLD, "A room you can walk", l.text_x, y0 + S(4));
    text_at(dc, u.fonts.title, setup::TEXT,
            u.removal ? std::string("Remove ") + setup::PRODUCT : std::string(setup::PRODUCT), l.text_x, y0 + S(28));
    ::SelectObject(dc, u.fonts.body);
    ::SetTextColor(dc, colour(setup::MUTED));
    if (u.removal) {
        RECT r{l.text_x, y0 + S(90), right, y0 + S(142)};
        ::DrawTextW(dc, L"This removes the program. Artwork stays on the chain.", -1, &r, DT_WORDBREAK | DT_NOPREFIX);
    } else {
        text_at(dc, u.fonts.body, setup::MUTED, "Two floors. Ten frames.", l.text_x, y0 + S(90));
        text_at(dc, u.fonts.body, setup::MUTED, "Place a piece, or buy one.", l.text_x, y0 + S(116));
    }
    fill(dc, {0, l.picture.y + l.picture.height + S(34), l.w, 1}, setup::LINE);

    text_at(dc, u.fonts.label, setup::GOLD, u.removal ? "FOLDER" : "INSTALL FOLDER", l.margin, l.folder.y - S(32));
    fill(dc, l.folder, setup::PANEL);
    frame(dc, l.folder, setup::LINE);

    if (u.removal) {
        text_at(dc, u.fonts.body, setup::MUTED, "This is the folder that will be removed.", l.margin, l.notice_y);
        u.wallet_link = {};
    } else {
        const RECT lead = text_at(dc, u.fonts.label, setup::GOLD, "Needs Wendrel - ", l.margin, l.notice_y + S(3));
        u.wallet_link = text_at(dc, u.fonts.address, setup::GOLD, setup::WALLET_PAGE, lead.right, l.notice_y);
        paint_options(dc, g, l);
    }

    int fy = l.footer_y;
    text_at(dc, u.fonts.small, setup::MUTED, "Windows 64-bit", l.margin, fy);
    fy += S(22);
    text_at(dc, u.fonts.small, setup::MUTED, std::string("Version ") + setup::VERSION, l.margin, fy);
    fy += S(22);
    u.program_link = text_at(dc, u.fonts.address, setup::GOLD, setup::PROGRAM_PAGE, l.margin, fy);
    fy += S(28);
    text_at(dc, u.fonts.small, setup::MUTED,
            std::string("Made by ") + setup::PUBLISHER + ". Artwork stays on the chain.", l.margin, fy);

    fill(dc, l.progress, setup::PANEL);
    const int percent = std::clamp(setup::progress().percent, 0, 100);
    if (percent > 0) fill(dc, {l.progress.x, l.progress.y, l.progress.width * percent / 100, l.progress.height}, setup::GOLD);
}

void on_paint(HWND hwnd) {
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(hwnd, &ps);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    // Drawn off screen first, so the window never shows a half-painted state.
    HDC mem = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = ::SelectObject(mem, bitmap);
    paint(mem);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(mem);
    ::EndPaint(hwnd, &ps);
}

bool button_hot(HWND button) { return ::GetWindowLongPtrW(button, GWLP_USERDATA) != 0; }

void draw_button(const DRAWITEMSTRUCT& d) {
    const int w = d.rcItem.right - d.rcItem.left, h = d.rcItem.bottom - d.rcItem.top;
    const bool is_action = d.CtlID == ID_ACTION;
    const bool enabled = (d.itemState & ODS_DISABLED) == 0;
    const bool hot = enabled && (button_hot(d.hwndItem) || (d.itemState & ODS_SELECTED));
    fill(d.hDC, {0, 0, w, h}, setup::BACKGROUND);
    Gdiplus::Graphics g(d.hDC);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    const float r = static_cast<float>(S(8));
    Rgb text = setup::TEXT;
    if (is_action) {
        Gdiplus::GraphicsPath path;
        rounded_path(path, 0.5f, 0.5f, w - 1.0f, h - 1.0f, r);
        Gdiplus::SolidBrush brush(plus_colour(hot ? setup::BRIGHT_GOLD : setup::GOLD));
        g.FillPath(&brush, &path);
        Gdiplus::Pen pen(plus_colour(setup::GOLD), 1);
        g.DrawPath(&pen, &path);
        text = setup::DARK_TEXT;
    } else {
        const float inset = hot ? 1.0f : 0.5f;
        Gdiplus::GraphicsPath path;
        rounded_path(path, inset, inset, w - 2 * inset, h - 2 * inset, r);
        Gdiplus::SolidBrush brush(plus_colour(hot ? setup::TICKED : setup::PANEL));
        g.FillPath(&brush, &path);
        Gdiplus::Pen pen(plus_colour(hot ? setup::GOLD : setup::LINE), hot ? 2.0f : 1.0f);
        g.DrawPath(&pen, &path);
        if (hot) text = setup::GOLD;
    }
    wchar_t words[64] = {};
    ::GetWindowTextW(d.hwndItem, words, 64);
    RECT rc{0, 0, w, h};
    ::SetBkMode(d.hDC, TRANSPARENT);
    ::SetTextColor(d.hDC, colour(text));
    ::SelectObject(d.hDC, ui().fonts.label);
    ::DrawTextW(d.hDC, words, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// Buttons keep their hover state in their user data; the hand cursor over them.
LRESULT CALLBACK button_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (msg) {
        case WM_MOUSEMOVE:
            if (!button_hot(hwnd)) {
                ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 1);
                TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, hwnd, 0};
                ::TrackMouseEvent(&t);
                ::InvalidateRect(hwnd, nullptr, FALSE);
            }
            break;
        case WM_MOUSELEAVE:
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            ::InvalidateRect(hwnd, nullptr, FALSE);
            break;
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        default:
            break;
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

// The folder box is one line: Enter and line feeds are swallowed.
LRESULT CALLBACK folder_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if ((msg == WM_CHAR && (wp == L'\r' || wp == L'\n')) || (msg == WM_KEYDOWN && wp == VK_RETURN)) return 0;
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

void round_button(HWND button, int w, int h) {
    ::SetWindowRgn(button, ::CreateRoundRectRgn(0, 0, w + 1, h + 1, 2 * S(8), 2 * S(8)), TRUE);
}

void place_controls() {
    Ui& u = ui();
    const setup::Layout l = layout();
    // The box is painted by the window; the edit sits inside it, its text centred
    // vertically by its own height (one line of the body font).
    const int text_h = std::min(l.folder.height - 2, S(30));
    ::SetWindowPos(u.folder, nullptr, l.folder.x + S(12), l.folder.y + (l.folder.height - text_h) / 2,
                   l.folder.width - 2 * S(12), text_h, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(u.browse, nullptr, l.browse.x, l.browse.y, l.browse.width, l.browse.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(u.action, nullptr, l.action.x, l.action.y, l.action.width, l.action.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(u.status, nullptr, l.status.x, l.status.y, l.status.width, l.status.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    round_button(u.browse, l.browse.width, l.browse.height);
    round_button(u.action, l.action.width, l.action.height);
    ::SendMessageW(u.folder, WM_SETFONT, reinterpret_cast<WPARAM>(u.fonts.body), TRUE);
    ::SendMessageW(u.status, WM_SETFONT, reinterpret_cast<WPARAM>(u.fonts.body), TRUE);
    ::SendMessageW(u.browse, WM_SETFONT, reinterpret_cast<WPARAM>(u.fonts.label), TRUE);
    ::SendMessageW(u.action, WM_SETFONT, reinterpret_cast<WPARAM>(u.fonts.label), TRUE);
}

void dark_title_bar(HWND hwnd) {
    const BOOL dark = TRUE;
    ::DwmSetWindowAttribute(hwnd, 20 /* DWMWA_USE_IMMERSIVE_DARK_MODE */, &dark, sizeof dark);
    const COLORREF caption = RGB(4, 8, 18), text = colour(setup::TEXT), border = RGB(255, 255, 255);
    ::DwmSetWindowAttribute(hwnd, 35 /* DWMWA_CAPTION_COLOR */, &caption, sizeof caption);
    ::DwmSetWindowAttribute(hwnd, 36 /* DWMWA_TEXT_COLOR */, &text, sizeof text);
    ::DwmSetWindowAttribute(hwnd, 34 /* DWMWA_BORDER_COLOR */, &border, sizeof border);
}

void create_controls(HWND hwnd) {
    Ui& u = ui();
    std::string folder;
    if (u.removal) folder = setup::read_install_location();
    if (folder.empty()) folder = setup::places().install_folder;
    auto child = [&](const wchar_t* cls, const std::wstring& text, DWORD style, int id) {
        return ::CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), u.instance, nullptr);
    };
    u.folder = child(L"EDIT", W(folder), ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, ID_FOLDER);
    u.browse = child(L"BUTTON", L"BROWSE", BS_OWNERDRAW | WS_TABSTOP, ID_BROWSE);
    u.action = child(L"BUTTON", u.removal ? L"UNINSTALL" : L"INSTALL", BS_OWNERDRAW | WS_TABSTOP, ID_ACTION);
    u.status = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX, 0, 0, 10, 10,
                                 hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_STATUS)), u.instance, nullptr);
    ::SetWindowSubclass(u.folder, folder_proc, 1, 0);
    ::SetWindowSubclass(u.browse, button_proc, 1, 0);
    ::SetWindowSubclass(u.action, button_proc, 1, 0);
    place_controls();
}

void show_status() {
    Ui& u = ui();
    const std::string& s = setup::progress().status;
    ::SetWindowTextW(u.status, W(s).c_str());
    ::ShowWindow(u.status, s.empty() ? SW_HIDE : SW_SHOWNOACTIVATE);
}

// Called by the engine between steps: show the state and handle what is pending, so the
// window repaints and a close request is seen.
void refresh() {
    Ui& u = ui();
    show_status();
    ::InvalidateRect(u.window, nullptr, FALSE);
    ::UpdateWindow(u.window);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::string folder_text() {
    const HWND box = ui().folder;
    const int n = ::GetWindowTextLengthW(box);
    std::wstring w(static_cast<std::size_t>(std::max(n, 0)) + 1, L'\0');
    const int got = ::GetWindowTextW(box, w.data(), static_cast<int>(w.size()));
    w.resize(static_cast<std::size_t>(std::max(got, 0)));
    return platform::win32::narrow(w);
}

void on_action() {
    Ui& u = ui();
    setup::Progress& p = setup::progress();
    if (p.busy) return;
    if (u.install_done) {
        // The second click of a double click on INSTALL may land on CLOSE when the install
        // was quicker than the click: it must not end the program unseen.
        if (!u.close_armed) return;
        ::DestroyWindow(u.window);
        return;
    }
    p.busy = true;
    ::EnableWindow(u.action, FALSE);
    ::EnableWindow(u.folder, FALSE);
    setup::Driver driver;
    driver.refresh = refresh;
    driver.has_window = true;
    const std::string folder = folder_text();
    const bool ok = u.removal ? setup::uninstall_from(folder, driver) : setup::install_to(folder, driver);
    if (!u.removal && ok) {
        ::SetWindowTextW(u.action, L"CLOSE");
        u.install_done = true;
        // Armed by a window timer, so no clock is read at the click.
        ::SetTimer(u.window, CLOSE_ARM_TIMER, ::GetDoubleClickTime(), nullptr);
    }
    ::EnableWindow(u.action, TRUE);
    p.busy = false;
    show_status();
    ::InvalidateRect(u.window, nullptr, FALSE);
    if (u.close_requested) {
        ::DestroyWindow(u.window);
        return;
    }
    if (u.removal && ok) {
        ::MessageBoxW(u.window, (W(setup::PRODUCT) + L" has been uninstalled.").c_str(), W(setup::PRODUCT).c_str(),
                      MB_OK | MB_ICONINFORMATION);
    }
}

void on_browse() {
    Ui& u = ui();
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) return;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(L"Choose install folder");
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->Show(u.window)) && SUCCEEDED(dialog->GetResult(&item))) {
        PWSTR path = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) ::SetWindowTextW(u.folder, path);
        ::CoTaskMemFree(path);
        item->Release();
    }
    dialog->Release();
}

void open_page(const char* address) {
    ::ShellExecuteW(ui().window, L"open", W(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

void on_click(int x, int y) {
    Ui& u = ui();
    if (inside(u.wallet_link, x, y)) {
        open_page(setup::WALLET_PAGE);
        return;
    }
    if (inside(u.program_link, x, y)) {
        open_page(setup::PROGRAM_PAGE);
        return;
    }
    if (u.removal) return;
    const int row = setup::option_row_at(layout(), u.dpi, x, y);
    if (row >= 0) {
        setup::toggle_option(row);
        ::InvalidateRect(u.window, nullptr, FALSE);
    }
}

void apply_dpi(HWND hwnd, int dpi, const RECT* suggested) {
    Ui& u = ui();
    u.dpi = dpi;
    u.client_w = setup::client_width(dpi);
    u.client_h = setup::client_height(dpi);
    make_fonts();
    if (suggested) {
        ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT client{};
    ::GetClientRect(hwnd, &client);
    if (client.right > 0) {
        u.client_w = client.right;
        u.client_h = client.bottom;
    }
    place_controls();
    ::InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Ui& u = ui();
    switch (msg) {
        case WM_CREATE: {
            u.window = hwnd;
            dark_title_bar(hwnd);
            HICON big = static_cast<HICON>(::LoadImageW(u.instance, MAKEINTRESOURCEW(RESOURCE_ICON), IMAGE_ICON,
                                                        ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
            HICON small = static_cast<HICON>(::LoadImageW(u.instance, MAKEINTRESOURCEW(RESOURCE_ICON), IMAGE_ICON,
                                                          ::GetSystemMetrics(SM_CXSMICON),
                                                          ::GetSystemMetrics(SM_CYSMICON), 0));
            if (big) ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
            if (small) ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
            create_controls(hwnd);
            return 0;
        }
        case WM_PAINT:
            on_paint(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_DRAWITEM:
            draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
            return TRUE;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wp);
            // A disabled edit asks as a static one.
            if (reinterpret_cast<HWND>(lp) == u.folder) {
                ::SetTextColor(dc, colour(setup::TEXT));
                ::SetBkColor(dc, colour(setup::PANEL));
                return reinterpret_cast<LRESULT>(u.panel);
            }
            ::SetTextColor(dc, colour(setup::MUTED));
            ::SetBkColor(dc, colour(setup::BACKGROUND));
            return reinterpret_cast<LRESULT>(u.background);
        }
        case WM_COMMAND:
            if (LOWORD(wp) == ID_ACTION && HIWORD(wp) == BN_CLICKED) on_action();
            if (LOWORD(wp) == ID_BROWSE && HIWORD(wp) == BN_CLICKED) on_browse();
            return 0;
        case WM_LBUTTONDOWN:
            on_click(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            return 0;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wp) == hwnd && LOWORD(lp) == HTCLIENT) {
                POINT p{};
                ::GetCursorPos(&p);
                ::ScreenToClient(hwnd, &p);
                const bool link = inside(u.wallet_link, p.x, p.y) || inside(u.program_link, p.x, p.y);
                ::SetCursor(::LoadCursorW(nullptr, link ? IDC_HAND : IDC_ARROW));
                return TRUE;
            }
            break;
        case WM_TIMER:
            if (wp == CLOSE_ARM_TIMER) {
                ::KillTimer(hwnd, CLOSE_ARM_TIMER);
                u.close_armed = true;
                return 0;
            }
            break;
        case WM_DPICHANGED:
            apply_dpi(hwnd, HIWORD(wp), reinterpret_cast<const RECT*>(lp));
            return 0;
        case WM_CLOSE:
            // The engine is inside a refresh: the window goes once the work returns.
            if (setup::progress().busy) {
                u.close_requested = true;
                ::ShowWindow(hwnd, SW_HIDE);
                return 0;
            }
            ::DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// The window rectangle for the client size at dpi, with the window's styles.
RECT window_rect(int dpi, DWORD style) {
    RECT r{0, 0, setup::client_width(dpi), setup::client_height(dpi)};
    using AdjustFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = user32_entry<AdjustFn>("AdjustWindowRectExForDpi")) {
        adjust(&r, style, FALSE, 0, static_cast<UINT>(dpi));
    } else {
        ::AdjustWindowRectEx(&r, style, FALSE, 0);
    }
    return r;
}

}  // namespace

int run_window(const setup::CommandLine& command_line, int show) {
    Ui& u = ui();
    u.command_line = command_line;
    u.instance = ::GetModuleHandleW(nullptr);
    u.removal = command_line.uninstall;
    u.background = ::CreateSolidBrush(colour(setup::BACKGROUND));
    u.panel = ::CreateSolidBrush(colour(setup::PANEL));
    const HMONITOR monitor = monitor_under_mouse();
    u.dpi = monitor_dpi(monitor);
    make_fonts();
    u.picture = load_picture();

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = u.instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconW(u.instance, MAKEINTRESOURCEW(RESOURCE_ICON));
    wc.hbrBackground = u.background;
    wc.lpszClassName = WINDOW_CLASS;
    ::RegisterClassExW(&wc);

    const DWORD style = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    const RECT r = window_rect(u.dpi, style);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    ::GetMonitorInfoW(monitor, &mi);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = mi.rcWork.left + std::max(0L, (mi.rcWork.right - mi.rcWork.left - w) / 2);
    const int y = mi.rcWork.top + std::max(0L, (mi.rcWork.bottom - mi.rcWork.top - h) / 2);
    const std::wstring title = W(setup::PRODUCT) + (u.removal ? L" \u2014 Remove" : L" Setup");
    HWND hwnd = ::CreateWindowExW(0, WINDOW_CLASS, title.c_str(), style, x, y, w, h, nullptr, nullptr, u.instance,
                                  nullptr);
    int code = 1;
    if (hwnd) {
        ::ShowWindow(hwnd, show);
        // The window may have opened on a monitor of another DPI than the one asked.
        using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
        const auto dpi_of = user32_entry<GetDpiForWindowFn>("GetDpiForWindow");
        const int actual = dpi_of ? static_cast<int>(dpi_of(hwnd)) : u.dpi;
        if (actual > 0 && actual != u.dpi) {
            const RECT nr = window_rect(actual, style);
            RECT now{};
            ::GetWindowRect(hwnd, &now);
            const RECT want{now.left, now.top, now.left + nr.right - nr.left, now.top + nr.bottom - nr.top};
            apply_dpi(hwnd, actual, &want);
        } else {
            apply_dpi(hwnd, u.dpi, nullptr);
        }
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        code = 0;
    }
    delete u.picture;
    u.picture = nullptr;
    free_fonts();
    ::DeleteObject(u.background);
    ::DeleteObject(u.panel);
    return code;
}

}  // namespace setup_win32
