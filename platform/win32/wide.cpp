#include "platform/win32/wide.h"

#include <climits>
#include <windows.h>

namespace platform::win32 {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return L"";
    int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return L"";
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& utf16) {
    if (utf16.empty() || utf16.size() > INT_MAX) return "";
    int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0,
                                  nullptr, nullptr);
    if (n <= 0) return "";
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring widen_path(const std::string& utf8) {
    std::wstring w = widen(utf8);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

}  // namespace platform::win32
