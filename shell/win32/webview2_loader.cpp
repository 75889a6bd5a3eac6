#include "shell/win32/webview2_loader.h"

#include <vector>

#include "platform/folders.h"
#include "platform/win32/wide.h"

namespace win32_shell {

namespace {

// The stable channel's client id; pre-release channels are not looked at.
const wchar_t* const CLIENT_STATE_KEY =
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

#if defined(__aarch64__) || defined(_M_ARM64)
const wchar_t* const RUNTIME_ARCH = L"arm64";
#elif defined(__x86_64__) || defined(_M_X64)
const wchar_t* const RUNTIME_ARCH = L"x64";
#else
const wchar_t* const RUNTIME_ARCH = L"x86";
#endif

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool is_absolute(const std::wstring& path) {
    if (path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
        path[1] == L':' && is_separator(path[2]))
        return true;
    return path.size() > 2 && is_separator(path[0]) && is_separator(path[1]) && !is_separator(path[2]);
}

bool has_parent_step(const std::wstring& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !is_separator(path[end])) ++end;
        if (path.compare(start, end - start, L"..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

bool file_exists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The EBWebView value of the client-state key under `root` ("" when absent or too long).
std::wstring registered_folder(HKEY root, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, CLIENT_STATE_KEY, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return L"";
    // A path longer than the longest Windows path is not a runtime folder.
    std::vector<wchar_t> buf(32768, L'\0');
    DWORD bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    LSTATUS status = ::RegGetValueW(key, nullptr, L"EBWebView", RRF_RT_REG_SZ, nullptr, buf.data(), &bytes);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return L"";
    return std::wstring(buf.data());
}

}  // namespace

bool parse_runtime_version(const std::wstring& text, RuntimeVersion& out) {
    RuntimeVersion parts{};
    std::size_t part = 0, digits = 0;
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            if (++digits > 9) return false;
            value = value * 10 + static_cast<std::uint32_t>(c - L'0');
        } else if (c == L'.') {
            if (digits == 0 || part == 3) return false;
            parts[part++] = value;
            value = 0;
            digits = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || part != 3) return false;
    parts[3] = value;
    out = parts;
    return true;
}

std::wstring last_path_component(const std::wstring& folder) {
    std::size_t end = folder.size();
    while (end > 0 && is_separator(folder[end - 1])) --end;
    std::size_t start = end;
    while (start > 0 && !is_separator(folder[start - 1])) --start;
    return folder.substr(start, end - start);
}

std::wstring runtime_dll_for_folder(const std::wstring& registered) {
    if (!is_absolute(registered) || has_parent_step(registered)) return L"";
    RuntimeVersion version{};
    if (!parse_runtime_version(last_path_component(registered), version)) return L"";
    if (version < WEBVIEW2_MIN_VERSION) return L"";
    std::wstring path = registered;
    while (!path.empty() && is_separator(path.back())) path.pop_back();
    return path + L"\\EBWebView\\" + RUNTIME_ARCH + L"\\EmbeddedBrowserWebView.dll";
}

std::wstring find_installed_runtime() {
    // Machine-wide first, as the published loader does; HKCU has no 32-bit view of its own.
    const std::pair<HKEY, REGSAM> places[] = {{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}, {HKEY_CURRENT_USER, 0}};
    for (const auto& [root, view] : places) {
        std::wstring dll = runtime_dll_for_folder(registered_folder(root, view));
        if (!dll.empty() && file_exists(dll)) return dll;
    }
    return L"";
}

HRESULT create_webview_environment(const std::wstring& user_data_folder,
                                   ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    // Neither DLL is ever freed: the environment and everything made from it live in it.
    std::wstring loader = platform::win32::widen_path(platform::executable_dir()) + L"\\WebView2Loader.dll";
    if (file_exists(loader)) {
        if (HMODULE module = ::LoadLibraryExW(loader.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
            auto create = reinterpret_cast<CreateEnvironmentWithOptionsFn>(
                reinterpret_cast<void*>(::GetProcAddress(module, "CreateCoreWebView2EnvironmentWithOptions")));
            if (create) return create(nullptr, user_data_folder.c_str(), nullptr, handler);
        }
        // An unusable loader DLL: fall back to the installed runtime.
    }
    std::wstring runtime = find_installed_runtime();
    if (runtime.empty()) return WEBVIEW2_NOT_FOUND;
    // The runtime's dependencies sit beside it.
    HMODULE module = ::LoadLibraryExW(runtime.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return WEBVIEW2_NOT_FOUND;
    auto create = reinterpret_cast<CreateWebViewEnvironmentInternalFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "CreateWebViewEnvironmentWithOptionsInternal")));
    if (!create) return WEBVIEW2_NOT_FOUND;
    return create(true, 0, user_data_folder.c_str(), nullptr, handler);
}

}  // namespace win32_shell
