// Windows: the same rules as tree.cpp with reparse points (symbolic links, junctions) as
// the links: removed as themselves, never entered. Windows has no openat, so each name is
// checked just before it is used.

#include <windows.h>

#include <vector>

#include "platform/win32/wide.h"
#include "setup/tree.h"

namespace setup {

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

DWORD attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool is_link(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT); }
bool is_folder(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }

// A link goes as a link: a folder link (junction, directory symlink) through
// RemoveDirectoryW, which removes the link and not what it names.
bool remove_entry(const std::wstring& path, DWORD a) {
    if (is_link(a)) return is_folder(a) ? ::RemoveDirectoryW(path.c_str()) != 0 : ::DeleteFileW(path.c_str()) != 0;
    if (a & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
    if (is_folder(a)) return ::RemoveDirectoryW(path.c_str()) != 0;
    return ::DeleteFileW(path.c_str()) != 0;
}

void empty_folder(const std::wstring& dir, int depth) {
    std::vector<std::pair<std::wstring, DWORD>> entries;
    WIN32_FIND_DATAW found{};
    HANDLE h = ::FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") entries.emplace_back(dir + L"\\" + name, found.dwFileAttributes);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    for (const auto& [path, a] : entries) {
        if (is_folder(a) && !is_link(a)) {
            if (depth + 1 >= MAX_TREE_DEPTH) continue;
            empty_folder(path, depth + 1);
        }
        remove_entry(path, a);
    }
}

// The folder holding the last component of relative below folder, each folder on the way
// checked to be a real folder (not a link); false when one is missing or a link.
bool parent_below(const std::string& folder, const std::string& relative, std::wstring& parent,
                  std::wstring& leaf) {
    parent = platform::win32::widen_path(folder);
    if (parent.empty() || !is_folder(attributes(parent))) return false;
    std::vector<std::string> parts;
    std::string part;
    for (char c : relative) {
        if (is_separator(c)) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (p.empty() || p == "." || p == ".." || p.find(':') != std::string::npos) return false;
        const std::wstring w = platform::win32::widen(p);
        if (w.empty()) return false;
        if (i + 1 == parts.size()) {
            leaf = w;
            return true;
        }
        parent += L"\\" + w;
        const DWORD a = attributes(parent);
        if (!is_folder(a) || is_link(a)) return false;
    }
    return false;
}

}  // namespace

void delete_tree(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && is_separator(p.back())) p.pop_back();
    const std::wstring w = platform::win32::widen_path(p);
    if (w.empty()) return;
    const DWORD a = attributes(w);
    if (a == INVALID_FILE_ATTRIBUTES) return;
    if (is_folder(a) && !is_link(a)) empty_folder(w, 0);
    remove_entry(w, a);
}

bool remove_below(const std::string& folder, const std::string& relative) {
    std::wstring parent, leaf;
    if (!parent_below(folder, relative, parent, leaf)) return false;
    const std::wstring path = parent + L"\\" + leaf;
    const DWORD a = attributes(path);
    // A folder, or a link to one, is never a file of the table.
    if (a == INVALID_FILE_ATTRIBUTES || is_folder(a)) return false;
    return remove_entry(path, a);
}

bool remove_empty_folder_below(const std::string& folder, const std::string& relative) {
    std::wstring parent, leaf;
    if (!parent_below(folder, relative, parent, leaf)) return false;
    const std::wstring path = parent + L"\\" + leaf;
    const DWORD a = attributes(path);
    if (!is_folder(a) || is_link(a)) return false;
    return ::RemoveDirectoryW(path.c_str()) != 0;
}

}  // namespace setup

