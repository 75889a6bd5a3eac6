#pragma once
// The bridge's ShellPort for the Win32 program. Calls allowed from any thread post one
// of the main window's messages with a heap payload (the window's queue keeps their
// order); the payload is freed here when the post fails, so a closed window leaks
// nothing. User-interface-thread calls act at once.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "bridge/port.h"

namespace win32_shell {

struct PortHooks {
    std::function<void()> notes_refresh;                         // any thread
    std::function<void(const std::string&, int, int)> facing;    // user-interface thread
    std::function<void(int ms)> quit_timer;                      // user-interface thread
    std::function<bridge::LookSettings()> look;                  // user-interface thread
};

class Win32Port : public bridge::ShellPort {
public:
    Win32Port(HWND main_window, PortHooks hooks);
    void post_page_reply(std::string json) override;
    void post_notes(std::vector<bridge::NoteItem> notes) override;
    void post_entry_result(std::string text) override;
    bool ask_yes_no(const std::string& question, const std::string& title) override;
    void start_quit_timer(int ms) override;
    void facing_changed(const std::string& word, int deg, int delta) override;
    void start_notes_refresh() override;
    bridge::LookSettings look_settings() override;

private:
    HWND main_;
    PortHooks hooks_;
};

// Posts message with a heap payload to window; the payload is deleted when the post
// fails. True when it was posted.
template <typename T>
bool post_owned(HWND window, UINT message, T* payload) {
    if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(payload))) return true;
    delete payload;
    return false;
}

}  // namespace win32_shell
