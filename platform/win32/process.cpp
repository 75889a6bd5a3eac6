#include "platform/process.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace platform {

namespace {

// One argument quoted so that the child's command-line parser gives it back unchanged:
// backslashes are literal except before a quote, where they are doubled.
void append_quoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        if (c == L'"') line.append(slashes * 2 + 1, L'\\');
        else line.append(slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
}

}  // namespace

bool start_program(const std::string& program, const std::vector<std::string>& args,
                   const std::string& working_dir) {
    std::wstring wprogram = win32::widen_path(program);
    if (wprogram.empty()) return false;
    std::wstring line;
    append_quoted(line, wprogram);
    for (const auto& a : args) {
        std::wstring w = win32::widen(a);
        if (w.empty() && !a.empty()) return false;
        line += L' ';
        append_quoted(line, w);
    }
    std::wstring wdir = win32::widen_path(working_dir);
    if (wdir.empty() && !working_dir.empty()) return false;

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Detached: no console of ours, no handles inherited; the program's path is given
    // whole, so nothing is searched.
    if (!::CreateProcessW(wprogram.c_str(), line.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr,
                          wdir.empty() ? nullptr : wdir.c_str(), &si, &pi))
        return false;
    // Nothing waits for it: closing the handles is all a finished program needs.
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

long process_id() { return static_cast<long>(::GetCurrentProcessId()); }

}  // namespace platform
