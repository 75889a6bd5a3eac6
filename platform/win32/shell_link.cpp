#include "platform/win32/shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <cwchar>

#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

// COM for this thread while a link is made: an apartment the caller already entered
// (any model) is used as it is and left alone.
struct ComScope {
    bool entered = false;
    ComScope() {
        const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        entered = hr == S_OK || hr == S_FALSE;
    }
    ~ComScope() {
        if (entered) ::CoUninitialize();
    }
};

template <typename T>
struct Com {
    T* p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
};

}  // namespace

bool create_shell_link(const std::string& link_path, const std::string& target, const std::string& folder,
                       const std::string& arguments, const std::string& description) {
    const std::wstring wlink = widen_path(link_path), wtarget = widen_path(target), wfolder = widen_path(folder);
    const std::wstring wargs = widen(arguments), wdesc = widen(description);
    if (wlink.empty() || wtarget.empty() || wfolder.empty() || (wargs.empty() && !arguments.empty())) return false;
    ComScope com;
    Com<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link.p)))) {
        return false;
    }
    if (FAILED(link.p->SetPath(wtarget.c_str())) || FAILED(link.p->SetWorkingDirectory(wfolder.c_str())) ||
        FAILED(link.p->SetIconLocation(wtarget.c_str(), 0)) || FAILED(link.p->SetDescription(wdesc.c_str()))) {
        return false;
    }
    if (!wargs.empty() && FAILED(link.p->SetArguments(wargs.c_str()))) return false;
    Com<IPersistFile> file;
    if (FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)))) return false;
    return SUCCEEDED(file.p->Save(wlink.c_str(), TRUE));
}

bool read_shell_link(const std::string& link_path, std::string& target, std::string& arguments) {
    const std::wstring wlink = widen_path(link_path);
    if (wlink.empty()) return false;
    ComScope com;
    Com<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link.p)))) {
        return false;
    }
    Com<IPersistFile> file;
    if (FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))) ||
        FAILED(file.p->Load(wlink.c_str(), STGM_READ))) {
        return false;
    }
    std::wstring path(32768, L'\0'), args(32768, L'\0');
    if (FAILED(link.p->GetPath(path.data(), static_cast<int>(path.size()), nullptr, SLGP_RAWPATH)) ||
        FAILED(link.p->GetArguments(args.data(), static_cast<int>(args.size())))) {
        return false;
    }
    path.resize(::wcsnlen(path.c_str(), path.size()));
    args.resize(::wcsnlen(args.c_str(), args.size()));
    target = narrow(path);
    arguments = narrow(args);
    return true;
}

}  // namespace platform::win32
