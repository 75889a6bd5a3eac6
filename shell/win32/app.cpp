// The program Quenvale on Windows: one copy (a named mutex decides; a later copy raises
// the first one's window and leaves, or starts once an ending first copy has gone),
// per-monitor DPI, COM for the web view, GDI+ for the painting, then the main window, the
// bridge, the room and the update check.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <curl/curl.h>

#include <string>

#include "bridge/pictures.h"
#include "platform/folders.h"
#include "platform/win32/wide.h"
#include "platform/win32/window.h"
#include "shell/notes_worker.h"
#include "shell/view_settings.h"
#include "shell/win32/gdiplus_util.h"
#include "shell/win32/ui.h"
#include "shell/win32/update_check.h"
#include "shell/win32/web_host.h"
#include "shell/win32/win32_port.h"
#include "bridge/handlers.h"
#include "bridge/protocol.h"
#include "wallet/registry.h"

namespace {

// Owned by the first copy's main thread for its life. A later copy raises the first
// copy's window and leaves; when that copy is ending and its window is gone (or hidden,
// on its way), the later copy waits to own the mutex and starts in its place rather
// than vanish.
constexpr const wchar_t* INSTANCE_MUTEX = L"Local\\Quenvale.SingleInstance";
// How long a later copy waits for the first copy's window (it may not exist yet) or for
// the first copy to end (its workers' last requests are bounded by their time-outs).
constexpr DWORD FIRST_COPY_WAIT_MS = 30000;
constexpr DWORD FIRST_COPY_POLL_MS = 100;

// True when this process is the one to run; mutex is then owned by this thread.
bool claim_first_copy(HANDLE& mutex) {
    mutex = CreateMutexW(nullptr, TRUE, INSTANCE_MUTEX);
    // Without a mutex there is no judge: running is better than not starting at all.
    if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return true;
    const DWORD started = GetTickCount();
    for (;;) {
        if (platform::win32::raise_shown_window_by_class("Quenvale")) return false;
        const DWORD waited = WaitForSingleObject(mutex, FIRST_COPY_POLL_MS);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return true;
        if (GetTickCount() - started >= FIRST_COPY_WAIT_MS) return false;
    }
}

void start_room_for_window() {
    using namespace win32_shell;
    Ui& u = ui();
    WebHostHooks hooks;
    hooks.failed = [](const std::wstring& status) {
        ui().status_line = status;
        refresh_settings();
    };
    hooks.ready = [] { layout_main(); };
    hooks.page_message = [](const std::string& json) { bridge::dispatch_page_message(json); };
    start_room(u.main, platform::win32::widen_path(u.web_folder), platform::win32::widen_path(u.data_folder),
               std::move(hooks));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace win32_shell;
    const std::string folder = platform::executable_dir();
    wallet::init_app_binding("Quenvale", folder);

    HANDLE mutex = nullptr;
    if (!claim_first_copy(mutex)) {
        CloseHandle(mutex);
        return 0;
    }

    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Before any thread: curl_global_init is not thread-safe.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    Gdiplus::GdiplusStartupInput gdiplus_input;
    ULONG_PTR gdiplus_token = 0;
    const bool gdiplus = Gdiplus::GdiplusStartup(&gdiplus_token, &gdiplus_input, nullptr) == Gdiplus::Ok;

    Ui& u = ui();
    u.instance = instance;
    u.data_folder = platform::data_dir();
    u.web_folder = folder + "\\QuenvaleWeb";
    u.look = shell::read_look(u.data_folder);

    register_main_classes();
    if (!create_main_window()) return 1;
    start_main_window();
    // The store is chosen before the room asks for its first picture.
    bridge::set_picture_folders(u.web_folder, u.data_folder);
    bridge::start_bridge(u.port.get());
    start_room_for_window();
    start_update_check(u.main);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // Its destructor waits for a run in progress; its last list may still be queued.
    u.notes_worker.reset();
    free_pending_payloads();
    // An operation still running past the close wait may post through the port while the
    // process ends: the port stays for the process's life.
    static_cast<void>(u.port.release());
    release_pictures();
    release_font_families();
    if (gdiplus) Gdiplus::GdiplusShutdown(gdiplus_token);
    if (SUCCEEDED(com)) CoUninitialize();
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return 0;
}
