#include "shell/win32/update_check.h"

#include <shellapi.h>

#include <memory>
#include <thread>

#include "core/profile.h"
#include "shell/win32/ui.h"
#include "shell/win32/winhttp_get.h"

namespace win32_shell {

namespace {

std::string announced_url;  // user-interface thread
bool asked = false;

}  // namespace

void start_update_check(HWND main_window) {
    const std::string site = core::profile().update_site;
    try {
        std::thread([main_window, site] {
            auto check = std::make_unique<shell::UpdateCheck>(shell::check_for_update(site, winhttp_get));
            if (!check->newer) return;
            if (PostMessageW(main_window, WM_UPDATE_FOUND, 0, reinterpret_cast<LPARAM>(check.get())))
                static_cast<void>(check.release());
        }).detach();
    } catch (...) {  // no thread: no check this run
    }
}

void on_update_found(shell::UpdateCheck* posted) {
    const std::unique_ptr<shell::UpdateCheck> check(posted);
    if (!check || ui().closing) return;
    ui().update_available = true;
    announced_url = check->page_url;
    refresh_settings();
    if (asked) return;
    asked = true;
    if (MessageBoxW(ui().main, widen(check->question).c_str(), widen(shell::UPDATE_TITLE).c_str(),
                    MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES)
        open_update_page();
}

void open_update_page() {
    if (!ui().update_available || announced_url.empty()) return;
    ShellExecuteW(ui().main, L"open", widen(announced_url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace win32_shell
