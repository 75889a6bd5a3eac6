#include "shell/win32/win32_port.h"

#include "shell/win32/ui.h"

namespace win32_shell {

Win32Port::Win32Port(HWND main_window, PortHooks hooks) : main_(main_window), hooks_(std::move(hooks)) {}

void Win32Port::post_page_reply(std::string json) {
    post_owned(main_, WM_PAGE_REPLY, new std::string(std::move(json)));
}

void Win32Port::post_notes(std::vector<bridge::NoteItem> notes) {
    post_owned(main_, WM_NOTES_READY, new std::vector<bridge::NoteItem>(std::move(notes)));
}

void Win32Port::post_entry_result(std::string text) {
    post_owned(main_, WM_ENTRY_RESULT, new std::string(std::move(text)));
}

bool Win32Port::ask_yes_no(const std::string& question, const std::string& title) {
    const std::wstring caption = widen(title.empty() ? std::string("Quenvale") : title);
    return MessageBoxW(main_, widen(question).c_str(), caption.c_str(), MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) ==
           IDYES;
}

void Win32Port::start_quit_timer(int ms) {
    if (hooks_.quit_timer) hooks_.quit_timer(ms < 0 ? 0 : ms);
}

void Win32Port::facing_changed(const std::string& word, int deg, int delta) {
    if (hooks_.facing) hooks_.facing(word, deg, delta);
}

void Win32Port::start_notes_refresh() {
    if (hooks_.notes_refresh) hooks_.notes_refresh();
}

bridge::LookSettings Win32Port::look_settings() { return hooks_.look ? hooks_.look() : bridge::LookSettings{}; }

}  // namespace win32_shell
