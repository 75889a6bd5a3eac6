// Windows: each table file is an RCDATA resource of the setup executable. Another image
// (the setup copy, a test's image) is loaded as a data file only, so none of its code
// runs.

#include <windows.h>

#include <algorithm>

#include "platform/win32/wide.h"
#include "setup/carried.h"
#include "setup/table.h"

namespace setup {

Carried::~Carried() {
    if (module) ::FreeLibrary(static_cast<HMODULE>(module));
}

bool open_carried(const std::string& image, std::uint32_t index, Carried& out) {
    const auto files = install_files();
    if (index >= files.size()) return false;
    if (image.empty()) {
        wchar_t path[MAX_PATH + 1] = {};
        const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
        if (n == 0 || n > MAX_PATH) return false;
        out.module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    } else {
        const std::wstring path = platform::win32::widen_path(image);
        if (path.empty()) return false;
        out.module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    auto* module = static_cast<HMODULE>(out.module);
    if (!module) return false;
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(files[index].resource), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found) return false;
    const DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (size == 0 || !bytes) return false;
    out.bytes = bytes;
    out.size = size;
    return true;
}

bool copy_carried(const Carried& carried, const platform::File& out, int& code) {
    // In slices: WriteFile takes a DWORD count.
    const auto* p = static_cast<const unsigned char*>(carried.bytes);
    std::uint64_t done = 0;
    while (done < carried.size) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(carried.size - done, 1u << 20));
        if (!platform::write_all(out, p + done, n, code)) return false;
        done += n;
    }
    return true;
}

}  // namespace setup
