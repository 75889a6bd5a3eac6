#include "platform/install_files.h"

#include <windows.h>

#include <vector>

#include "platform/folders.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

HANDLE handle_of(const File& f) { return reinterpret_cast<HANDLE>(f.handle); }
std::intptr_t value_of(HANDLE h) { return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h); }

struct Identity {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
};

bool identity_of(const std::string& path, Identity& id) {
    const std::wstring w = win32::widen_path(path);
    if (w.empty()) return false;
    // Zero access: only the file's identity is asked for, so a running program or a file
    // open without sharing still answers.
    HANDLE h = ::CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok) return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

}  // namespace

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle != -1) ::CloseHandle(handle_of(*this));
        handle = other.handle;
        other.handle = -1;
    }
    return *this;
}

File::~File() {
    if (handle != -1) ::CloseHandle(handle_of(*this));
}

File open_for_reading(const std::string& path, int& code) {
    const std::wstring w = win32::widen_path(path);
    if (w.empty()) {
        code = ERROR_INVALID_NAME;
        return File();
    }
    // Shared for reading and deleting: the running setup reads its own image.
    HANDLE h = ::CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) code = static_cast<int>(::GetLastError());
    return File(value_of(h));
}

bool file_size(const File& file, std::uint64_t& size) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle_of(file), &info)) return false;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

bool read_at(const File& file, std::uint64_t offset, void* buf, std::size_t n, std::size_t& got, int& code) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xffffffffu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD want = n > 0x10000000 ? 0x10000000 : static_cast<DWORD>(n);
    DWORD read = 0;
    if (!::ReadFile(handle_of(file), buf, want, &read, &at)) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_HANDLE_EOF) {
            got = 0;
            return true;
        }
        code = static_cast<int>(e);
        return false;
    }
    got = read;
    return true;
}

File create_for_writing(const std::string& path, bool, bool exclusive, int& code) {
    const std::wstring w = win32::widen_path(path);
    if (w.empty()) {
        code = ERROR_INVALID_NAME;
        return File();
    }
    // A link (reparse point) planted at the name is replaced, never written through.
    const DWORD attrs = ::GetFileAttributesW(w.c_str());
    if (!exclusive && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileW(w.c_str());
    }
    // Not shared: a program that is running keeps its file open, and the open fails with
    // a sharing violation (32) instead of writing under it.
    HANDLE h = ::CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, exclusive ? CREATE_NEW : CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) code = static_cast<int>(::GetLastError());
    return File(value_of(h));
}

bool write_all(const File& file, const void* buf, std::size_t n, int& code) {
    const auto* p = static_cast<const unsigned char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        const std::size_t left = n - done;
        const DWORD want = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!::WriteFile(handle_of(file), p + done, want, &put, nullptr)) {
            code = static_cast<int>(::GetLastError());
            return false;
        }
        if (put == 0) {
            code = write_fault_code();
            return false;
        }
        done += put;
    }
    return true;
}

bool finish_file(File& file, bool, int& code) {
    HANDLE h = handle_of(file);
    file.handle = -1;
    if (!::CloseHandle(h)) {
        code = static_cast<int>(::GetLastError());
        return false;
    }
    return true;
}

bool same_file(const std::string& a, const std::string& b) {
    Identity ia, ib;
    return identity_of(a, ia) && identity_of(b, ib) && ia.volume == ib.volume && ia.high == ib.high &&
           ia.low == ib.low;
}

std::string running_image() { return executable_path(); }

bool is_read_only(const std::string& path) {
    const std::wstring w = win32::widen_path(path);
    if (w.empty()) return false;
    const DWORD attrs = ::GetFileAttributesW(w.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) &&
           (attrs & FILE_ATTRIBUTE_READONLY);
}

void clear_attributes(const std::string& path) {
    const std::wstring w = win32::widen_path(path);
    if (!w.empty()) ::SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
}

WriteFailure classify_write_error(int code) {
    switch (code) {
        case ERROR_ACCESS_DENIED:
            return WriteFailure::access_denied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return WriteFailure::in_use;
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL:
            return WriteFailure::disk_full;
        default:
            return WriteFailure::other;
    }
}

int write_fault_code() { return ERROR_WRITE_FAULT; }
int last_error() { return static_cast<int>(::GetLastError()); }

std::string absolute_folder(const std::string& folder) {
    if (is_absolute_path(folder)) return folder;
    const std::wstring w = win32::widen(folder);
    if (w.empty()) return "";
    const DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0 || n > 32768) return "";
    std::wstring full(n, L'\0');
    const DWORD got = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return "";
    full.resize(got);
    return win32::narrow(full);
}

bool is_absolute_path(const std::string& path) {
    if (path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
        path[1] == ':' && (path[2] == '\\' || path[2] == '/')) {
        return true;
    }
    return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

bool is_path_separator(char c) { return c == '/' || c == '\\'; }

bool remove_empty_folder(const std::string& path) {
    const std::wstring w = win32::widen_path(path);
    return !w.empty() && ::RemoveDirectoryW(w.c_str()) != 0;
}

}  // namespace platform
