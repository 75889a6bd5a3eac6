#pragma once
// The shell's state on the user-interface thread and the pieces the window procedures
// share. One process, one main window: the state is a single object reached through ui().
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "bridge/port.h"
#include "shell/bell.h"
#include "shell/compass.h"
#include "shell/header.h"
#include "shell/layout.h"

namespace shell {
class NotesWorker;
}

namespace win32_shell {

class Win32Port;

// Posted to the main window; each heap payload belongs to the receiver once posted, and
// to the sender again when the post fails.
inline constexpr UINT WM_UPDATE_FOUND = WM_APP + 40;  // lParam: shell::UpdateCheck*
inline constexpr UINT WM_PAGE_REPLY = WM_APP + 41;    // lParam: std::string* (UTF-8 JSON)
inline constexpr UINT WM_NOTES_READY = WM_APP + 42;   // lParam: std::vector<bridge::NoteItem>*
inline constexpr UINT WM_ENTRY_RESULT = WM_APP + 43;  // lParam: std::string*

inline constexpr UINT_PTR TIMER_TICK = 1;
inline constexpr UINT_PTR TIMER_COMPASS = 2;
inline constexpr UINT_PTR TIMER_QUIT = 7;
inline constexpr UINT_PTR TIMER_CLOSE_POLL = 8;
inline constexpr UINT TICK_MS = 800;
inline constexpr UINT CLOSE_POLL_MS = 100;
// How long the close path lets running operations finish before the window goes.
inline constexpr DWORD CLOSE_WAIT_MS = 10000;
inline constexpr const wchar_t* FINISHING_TEXT = L"Finishing\u2026";

inline constexpr const wchar_t* MAIN_CLASS = L"Quenvale";
inline constexpr const wchar_t* BAR_CLASS = L"QuenvaleBar";
inline constexpr const wchar_t* NOTES_CLASS = L"QuenvaleNotes";
inline constexpr const wchar_t* SETTINGS_CLASS = L"QuenvaleSet";
inline constexpr const wchar_t* CAMERA_CLASS = L"QuenvaleCam";
inline constexpr const wchar_t* TERMS_CLASS = L"QuenvaleTerms";

// Resource ids (quenvale.rc).
inline constexpr int IDI_PROGRAM = 1;
inline constexpr int IDR_BANNER = 2;
inline constexpr int IDR_LOGO = 3;
inline constexpr int IDR_SETTINGS_PICTURE = 4;
inline constexpr int IDR_BELL = 5;

struct Ui {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND bar = nullptr;
    HWND notes_popup = nullptr;
    HWND settings = nullptr;
    HWND camera = nullptr;
    HWND terms = nullptr;
    HWND connect_button = nullptr;
    HWND settings_button = nullptr;
    HWND close_button = nullptr;
    HWND hovered_button = nullptr;

    int dpi = shell::BASE_DPI;  // the main window's, as the font was last made for
    HFONT font = nullptr;
    shell::MainLayout layout;
    int last_width = -1;
    int last_header = -1;

    std::string data_folder;
    std::string web_folder;
    bridge::LookSettings look;
    std::wstring status_line;
    bool update_available = false;
    bool placement_ready = false;
    bool closing = false;
    DWORD close_started = 0;

    shell::HeaderState header;
    std::vector<bridge::NoteItem> notes;
    shell::BellState bell;
    int notes_hover = -1;
    std::string facing_word;
    int facing_deg = 0;
    shell::CompassState compass;

    std::unique_ptr<Win32Port> port;
    std::unique_ptr<shell::NotesWorker> notes_worker;
};
Ui& ui();

RECT to_rect(const shell::Rect& r);
std::wstring widen(const std::string& utf8);

// Button painting and the shared hover tracking (buttons.cpp).
HWND make_button(HWND parent, const wchar_t* text, int id);
void draw_button(const DRAWITEMSTRUCT& item);

// The main window (main_window.cpp).
void register_main_classes();
HWND create_main_window();
// The port, the notes worker, the start-up placement, the first layout and the tick.
void start_main_window();
void layout_main();
int header_height();
void write_placement();
void begin_close();
// After the loop: frees the payloads of messages posted before the window went.
void free_pending_payloads();

// The header bar's painting (header_paint.cpp).
void paint_header(HDC dc, int width, int height);
void release_header_buffer();
void invalidate_bar_rect(const shell::Rect& r);

// The notes popup (notes_popup.cpp).
LRESULT CALLBACK notes_popup_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void position_notes_popup();

// Side windows (side_windows.cpp).
void apply_side_look(HWND window);
void open_settings();
void refresh_settings();

}  // namespace win32_shell
