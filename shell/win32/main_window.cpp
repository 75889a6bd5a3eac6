// The main window "Quenvale" and its header bar "QuenvaleBar": layout, placement kept in
// window.json, the 800 ms tick, the compass timer, the posted messages of the workers,
// and the one close path (Close button, close box, quit timer): stop taking operations,
// say "Finishing…" while running operations end (at most CLOSE_WAIT_MS), then destroy.
#include <dwmapi.h>
#include <windowsx.h>

#include <atomic>
#include <memory>
#include <vector>

#include "bridge/handlers.h"
#include "bridge/workers.h"
#include "platform/win32/wide.h"
#include "shell/buttons.h"
#include "shell/notes_worker.h"
#include "shell/update.h"
#include "shell/view_settings.h"
#include "shell/win32/ui.h"
#include "shell/win32/update_check.h"
#include "shell/win32/web_host.h"
#include "shell/win32/win32_port.h"
#include "wallet/connect.h"
#include "wallet/state.h"

namespace win32_shell {

namespace {

constexpr shell::Rgb MAIN_BACKGROUND{6, 8, 14};
constexpr shell::Rgb CAPTION{198, 193, 187};
constexpr shell::Rgb CAPTION_TEXT{48, 40, 32};

std::atomic<bool> balance_running{false};

void set_dwm_colour(HWND window, DWORD attribute, shell::Rgb c) {
    const COLORREF value = RGB(c.r, c.g, c.b);
    DwmSetWindowAttribute(window, attribute, &value, sizeof(value));
}

HFONT make_font(int height) {
    return CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
}

void send_font() {
    Ui& u = ui();
    for (HWND b : {u.connect_button, u.settings_button, u.close_button})
        if (b) SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(u.font), TRUE);
}

// The font follows the window's DPI: remade at scaled(15) whenever the DPI changed.
void update_font(int dpi) {
    Ui& u = ui();
    if (u.font && dpi == u.dpi) return;
    u.dpi = dpi;
    if (u.font) DeleteObject(u.font);
    u.font = make_font(shell::scaled(15, dpi));
    send_font();
}

void move_if_needed(HWND window, const shell::Rect& r) {
    if (!window) return;
    RECT now;
    GetWindowRect(window, &now);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&now), 2);
    if (now.left == r.left && now.top == r.top && now.right == r.right && now.bottom == r.bottom) return;
    MoveWindow(window, r.left, r.top, r.width(), r.height(), TRUE);
}

void start_balance_refresh() {
    if (balance_running.exchange(true)) return;
    if (!bridge::start_worker([] {
            wallet::refresh_wallet_status();
            balance_running = false;
        }))
        balance_running = false;
}

void header_refresh() {
    Ui& u = ui();
    const shell::HeaderRefresh r = shell::refresh_header(u.header, wallet::wallet_snapshot());
    if (r.repaint && u.bar) InvalidateRect(u.bar, nullptr, FALSE);
    if (r.start_notes_refresh && u.notes_worker) u.notes_worker->start();
    if (u.connect_button) {
        const std::wstring wanted = widen(r.button_text);
        wchar_t now[32] = {};
        GetWindowTextW(u.connect_button, now, 32);
        if (wanted != now) SetWindowTextW(u.connect_button, wanted.c_str());
    }
    if (r.start_balance_refresh) start_balance_refresh();
}

void on_tick() {
    Ui& u = ui();
    header_refresh();
    if (shell::bell_tick(u.bell, u.notes.size())) invalidate_bar_rect(u.layout.bell_rect);
}

void on_compass_step() {
    Ui& u = ui();
    const shell::CompassStep step = shell::compass_step(u.compass);
    if (step.stop) KillTimer(u.main, TIMER_COMPASS);
    if (step.repaint) invalidate_bar_rect(u.layout.compass_rect);
}

void on_notes(std::unique_ptr<std::vector<bridge::NoteItem>> notes) {
    Ui& u = ui();
    if (notes) {
        const std::size_t previous = u.notes.size();
        u.notes = std::move(*notes);
        shell::bell_notes_arrived(u.bell, previous, u.notes.size());
        if (u.notes_hover >= static_cast<int>(u.notes.size())) u.notes_hover = -1;
    } else if (u.notes.empty()) {
        u.bell = {};
    }
    invalidate_bar_rect(u.layout.bell_rect);
    if (u.notes_popup && IsWindowVisible(u.notes_popup)) {
        position_notes_popup();
        InvalidateRect(u.notes_popup, nullptr, FALSE);
    }
}

void on_connect_pressed() {
    if (ui().closing) return;
    if (wallet::snapshot_ready_hd())
        bridge::start_worker([] { wallet::disconnect_wallet(); });  // the tick notices the change
    else
        bridge::on_connect();
}

void finish_close_if_done() {
    Ui& u = ui();
    if (bridge::running_workers() > 0 && GetTickCount() - u.close_started < CLOSE_WAIT_MS) return;
    KillTimer(u.main, TIMER_CLOSE_POLL);
    DestroyWindow(u.main);
}

LRESULT CALLBACK main_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Ui& u = ui();
    switch (message) {
    case WM_SIZE: {
        layout_main();
        const int width = LOWORD(lparam);
        const int header = u.layout.header.height();
        if (width != u.last_width || header != u.last_header) {
            u.last_width = width;
            u.last_header = header;
            if (u.bar) InvalidateRect(u.bar, nullptr, FALSE);
        }
        write_placement();
        return 0;
    }
    case WM_EXITSIZEMOVE:
        write_placement();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_DRAWITEM:
        draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return 1;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case shell::ID_CONNECT:
            on_connect_pressed();
            return 0;
        case shell::ID_SETTINGS:
            if (!u.closing) open_settings();
            return 0;
        case shell::ID_CLOSE:
            PostMessageW(window, WM_CLOSE, 0, 0);
            return 0;
        default:
            break;
        }
        break;
    case WM_TIMER:
        switch (wparam) {
        case TIMER_TICK:
            on_tick();
            return 0;
        case TIMER_COMPASS:
            on_compass_step();
            return 0;
        case TIMER_QUIT:
            KillTimer(window, TIMER_QUIT);
            begin_close();
            return 0;
        case TIMER_CLOSE_POLL:
            finish_close_if_done();
            return 0;
        default:
            break;
        }
        break;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        release_header_buffer();
        update_font(HIWORD(wparam));
        layout_main();
        if (u.bar) InvalidateRect(u.bar, nullptr, FALSE);
        return 0;
    }
    case WM_UPDATE_FOUND:
        on_update_found(reinterpret_cast<shell::UpdateCheck*>(lparam));
        return 0;
    case WM_PAGE_REPLY: {
        const std::unique_ptr<std::string> json(reinterpret_cast<std::string*>(lparam));
        if (json) post_to_page(*json);  // dropped there before the web view exists
        return 0;
    }
    case WM_NOTES_READY:
        on_notes(std::unique_ptr<std::vector<bridge::NoteItem>>(
            reinterpret_cast<std::vector<bridge::NoteItem>*>(lparam)));
        return 0;
    case WM_ENTRY_RESULT: {
        const std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lparam));
        bridge::entry_result(text ? *text : std::string("error"));
        return 0;
    }
    case WM_CLOSE:
        begin_close();
        return 0;
    case WM_DESTROY:
        write_placement();
        KillTimer(window, TIMER_TICK);
        KillTimer(window, TIMER_COMPASS);
        KillTimer(window, TIMER_CLOSE_POLL);
        release_header_buffer();
        release_room();
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

bool in_bell(LPARAM lparam) {
    const shell::Rect& r = ui().layout.bell_rect;
    const int x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

LRESULT CALLBACK bar_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Ui& u = ui();
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rc;
        GetClientRect(window, &rc);
        paint_header(dc, rc.right, rc.bottom);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_SETCURSOR: {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(window, &p);
        if (reinterpret_cast<HWND>(wparam) == window && in_bell(MAKELPARAM(p.x, p.y))) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */));
            return 1;
        }
        break;
    }
    case WM_DRAWITEM:
        draw_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return 1;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        return SendMessageW(u.main, WM_COMMAND, wparam, lparam);
    case WM_LBUTTONUP:
        if (!in_bell(lparam) || !u.notes_popup) break;
        if (IsWindowVisible(u.notes_popup)) {
            ShowWindow(u.notes_popup, SW_HIDE);
        } else {
            u.notes_hover = -1;
            position_notes_popup();
            ShowWindow(u.notes_popup, SW_SHOWNOACTIVATE);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

bool register_class(const wchar_t* name, WNDPROC proc, HBRUSH brush) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = ui().instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.hbrBackground = brush;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

std::vector<shell::Rect> work_areas() {
    std::vector<shell::Rect> areas;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof(info);
            if (GetMonitorInfoW(monitor, &info))
                reinterpret_cast<std::vector<shell::Rect>*>(data)->push_back(
                    {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&areas));
    return areas;
}

shell::Rect cursor_work_area() {
    POINT p{0, 0};
    GetCursorPos(&p);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST), &info)) return {0, 0, 1280, 800};
    return {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

}  // namespace

Ui& ui() {
    static Ui u;
    return u;
}

RECT to_rect(const shell::Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

std::wstring widen(const std::string& utf8) { return platform::win32::widen(utf8); }

void register_main_classes() {
    register_class(MAIN_CLASS, main_proc,
                   CreateSolidBrush(RGB(MAIN_BACKGROUND.r, MAIN_BACKGROUND.g, MAIN_BACKGROUND.b)));
    register_class(BAR_CLASS, bar_proc, nullptr);
    register_class(NOTES_CLASS, notes_popup_proc, nullptr);
}

HWND create_main_window() {
    Ui& u = ui();
    u.main = CreateWindowExW(WS_EX_COMPOSITED, MAIN_CLASS, L"Quenvale", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             CW_USEDEFAULT, CW_USEDEFAULT, 1280, 800, nullptr, nullptr, u.instance, nullptr);
    if (!u.main) return nullptr;
    set_dwm_colour(u.main, 35 /* caption */, CAPTION);
    set_dwm_colour(u.main, 34 /* border */, CAPTION);
    set_dwm_colour(u.main, 36 /* caption text */, CAPTION_TEXT);
    u.bar = CreateWindowExW(0, BAR_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 100,
                            100, u.main, nullptr, u.instance, nullptr);
    u.notes_popup = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, NOTES_CLASS, L"", WS_POPUP, 0, 0, 10, 10,
                                    u.main, nullptr, u.instance, nullptr);
    if (HICON icon = static_cast<HICON>(
            LoadImageW(u.instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR | LR_SHARED))) {
        SendMessageW(u.main, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(u.main, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    u.font = make_font(16);
    u.settings_button = make_button(u.bar, L"Settings", shell::ID_SETTINGS);
    u.close_button = make_button(u.bar, L"Close", shell::ID_CLOSE);
    u.connect_button = make_button(u.bar, L"Connect", shell::ID_CONNECT);
    return u.main;
}

void place_main_window() {
    Ui& u = ui();
    const shell::StartPlacement start =
        shell::start_placement(shell::read_window(u.data_folder), work_areas(), cursor_work_area());
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(u.main, &placement);
    placement.rcNormalPosition = to_rect(start.normal);
    placement.showCmd = start.maximise ? SW_MAXIMIZE : SW_SHOWNORMAL;
    placement.flags = 0;
    SetWindowPlacement(u.main, &placement);
}

void start_main_window() {
    Ui& u = ui();
    PortHooks hooks;
    hooks.notes_refresh = [] {
        if (ui().notes_worker) ui().notes_worker->start();
    };
    hooks.facing = [](const std::string& word, int deg, int delta) {
        Ui& w = ui();
        w.facing_word = word;
        w.facing_deg = deg;
        shell::compass_kick(w.compass, delta);
        SetTimer(w.main, TIMER_COMPASS, shell::COMPASS_TIMER_MS, nullptr);
        invalidate_bar_rect(w.layout.compass_rect);
    };
    hooks.quit_timer = [](int ms) { SetTimer(ui().main, TIMER_QUIT, static_cast<UINT>(ms), nullptr); };
    hooks.look = [] { return ui().look; };
    u.port = std::make_unique<Win32Port>(u.main, std::move(hooks));
    u.notes_worker = std::make_unique<shell::NotesWorker>(*u.port, shell::live_notes_sources());

    place_main_window();
    u.placement_ready = true;
    write_placement();
    layout_main();
    header_refresh();
    SetTimer(u.main, TIMER_TICK, TICK_MS, nullptr);
}

int header_height() {
    RECT rc{};
    if (ui().main) GetClientRect(ui().main, &rc);
    return shell::header_height(rc.bottom, ui().dpi);
}

void layout_main() {
    Ui& u = ui();
    if (!u.main) return;
    const UINT dpi = GetDpiForWindow(u.main);
    update_font(dpi ? static_cast<int>(dpi) : shell::BASE_DPI);
    RECT rc{};
    GetClientRect(u.main, &rc);
    u.layout = shell::layout_main(rc.right, rc.bottom, u.dpi);
    move_if_needed(u.settings_button, u.layout.settings_button);
    move_if_needed(u.connect_button, u.layout.connect_button);
    move_if_needed(u.close_button, u.layout.close_button);
    move_if_needed(u.bar, u.layout.header);
    if (u.bar) SetWindowPos(u.bar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    set_room_bounds(to_rect(u.layout.web_view));
}

void write_placement() {
    Ui& u = ui();
    if (!u.placement_ready || !u.main || IsIconic(u.main)) return;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(u.main, &placement)) return;
    const RECT& r = placement.rcNormalPosition;
    shell::WindowPlacement saved{true, r.left, r.top, r.right, r.bottom, placement.showCmd == SW_MAXIMIZE};
    std::string error;
    shell::write_window(u.data_folder, saved, error);  // too small: refused, the old file stays
}

void free_pending_payloads() {
    MSG m;
    while (PeekMessageW(&m, nullptr, WM_UPDATE_FOUND, WM_ENTRY_RESULT, PM_REMOVE)) {
        switch (m.message) {
        case WM_UPDATE_FOUND:
            delete reinterpret_cast<shell::UpdateCheck*>(m.lParam);
            break;
        case WM_PAGE_REPLY:
        case WM_ENTRY_RESULT:
            delete reinterpret_cast<std::string*>(m.lParam);
            break;
        case WM_NOTES_READY:
            delete reinterpret_cast<std::vector<bridge::NoteItem>*>(m.lParam);
            break;
        default:
            break;
        }
    }
}

void begin_close() {
    Ui& u = ui();
    if (u.closing || !u.main) return;
    write_placement();
    u.closing = true;
    KillTimer(u.main, TIMER_TICK);
    bridge::stop_taking_operations();
    if (bridge::running_workers() == 0) {
        DestroyWindow(u.main);
        return;
    }
    // Running operations still post their replies and write their files: the loop keeps
    // going while the header says why the window stays.
    if (u.notes_popup) ShowWindow(u.notes_popup, SW_HIDE);
    if (u.bar) {
        EnableWindow(u.bar, FALSE);
        InvalidateRect(u.bar, nullptr, FALSE);
    }
    u.status_line = FINISHING_TEXT;
    refresh_settings();
    u.close_started = GetTickCount();
    SetTimer(u.main, TIMER_CLOSE_POLL, CLOSE_POLL_MS, nullptr);
}

}  // namespace win32_shell
