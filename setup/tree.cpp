// POSIX; the Windows counterpart is win32/tree.cpp.
#ifndef _WIN32

#include "setup/tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace setup {

namespace {

constexpr int DIR_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Empties the open folder dir (closed here), depth levels below the top.
void empty_folder(int dir, int depth) {
    struct stat st {};
    // Entries of a folder that denies writing cannot be removed; this folder was reached
    // without following a link, so changing it stays inside the tree.
    if (::fstat(dir, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU) {
        ::fchmod(dir, (st.st_mode & 07777) | S_IRWXU);
    }
    DIR* d = ::fdopendir(dir);
    if (!d) {
        ::close(dir);
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    for (const auto& name : names) {
        struct stat est {};
        if (::fstatat(dir, name.c_str(), &est, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(est.st_mode)) {
            if (depth + 1 >= MAX_TREE_DEPTH) continue;
            int sub = ::openat(dir, name.c_str(), DIR_FLAGS);
            if (sub < 0) continue;
            empty_folder(sub, depth + 1);
            ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dir, name.c_str(), 0);
        }
    }
    ::closedir(d);  // closes dir
}

// Opens the folder holding the last component of relative below folder, without
// following links on the way; -1 when a component is missing, a link or not a folder.
int open_parent_below(const std::string& folder, const std::string& relative, std::string& leaf) {
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    std::size_t pos = 0;
    while (true) {
        const std::size_t slash = relative.find('/', pos);
        if (slash == std::string::npos) {
            leaf = relative.substr(pos);
            break;
        }
        const std::string part = relative.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == "." || part == "..") {
            ::close(dir);
            return -1;
        }
        int sub = ::openat(dir, part.c_str(), DIR_FLAGS);
        ::close(dir);
        if (sub < 0) return -1;
        dir = sub;
    }
    if (leaf.empty() || leaf == "." || leaf == "..") {
        ::close(dir);
        return -1;
    }
    return dir;
}

}  // namespace

void delete_tree(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const std::size_t slash = p.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
    const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return;
    int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) {
            int sub = ::openat(dir, name.c_str(), DIR_FLAGS);
            if (sub >= 0) empty_folder(sub, 0);
            ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dir, name.c_str(), 0);
        }
    }
    ::close(dir);
}

bool remove_below(const std::string& folder, const std::string& relative) {
    std::string leaf;
    int dir = open_parent_below(folder, relative, leaf);
    if (dir < 0) return false;
    struct stat st {};
    bool removed = false;
    if (::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) {
        removed = ::unlinkat(dir, leaf.c_str(), 0) == 0;
    }
    ::close(dir);
    return removed;
}

bool remove_empty_folder_below(const std::string& folder, const std::string& relative) {
    std::string leaf;
    int dir = open_parent_below(folder, relative, leaf);
    if (dir < 0) return false;
    const bool removed = ::unlinkat(dir, leaf.c_str(), AT_REMOVEDIR) == 0;
    ::close(dir);
    return removed;
}

}  // namespace setup

#endif  // _WIN32
