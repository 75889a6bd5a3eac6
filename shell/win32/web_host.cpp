#include "shell/win32/web_host.h"

#include <atomic>
#include <utility>

#include "platform/win32/wide.h"
#include "shell/win32/webview2.h"
#include "shell/win32/webview2_loader.h"

namespace win32_shell {

namespace {

// One fixed name; ".local" never resolves on the network, so only the mapping serves it.
const wchar_t* const ROOM_HOST = L"room.quenvale.local";
const wchar_t* const ROOM_PAGE = L"https://room.quenvale.local/index.html?v=40";

struct Room {
    HWND window = nullptr;
    WebHostHooks hooks;
    ICoreWebView2Controller* controller = nullptr;
    ICoreWebView2* web_view = nullptr;
    EventRegistrationToken message_token{};
    // Bumped by every start and release: callbacks of an earlier start are ignored.
    unsigned generation = 0;
    bool failure_reported = false;
};

Room& room() {
    static Room state;
    return state;
}

bool current(unsigned generation) { return generation == room().generation; }

void report_failure(unsigned generation) {
    Room& r = room();
    if (!current(generation) || r.failure_reported) return;
    r.failure_reported = true;
    // A copy: the hook may start or release the room again.
    auto failed = r.hooks.failed;
    if (failed) failed(WEBVIEW2_MISSING_TEXT);
}

template <typename T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The reference counting and QueryInterface every handler object shares; `Interface`
// has Invoke as its only method.
template <typename Interface>
class ComHandler : public Interface {
public:
    ComHandler(const IID& iid, unsigned generation) : iid_(iid), generation_(generation) {}
    virtual ~ComHandler() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == iid_) {
            *out = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    unsigned generation() const { return generation_; }

private:
    const IID& iid_;
    const unsigned generation_;
    std::atomic<ULONG> refs_{1};
};

class MessageReceived final : public ComHandler<ICoreWebView2WebMessageReceivedEventHandler> {
public:
    explicit MessageReceived(unsigned generation)
        : ComHandler(IID_ICoreWebView2WebMessageReceivedEventHandler, generation) {}

    // Never reports a failure back to the web view.
    HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) override {
        if (!current(generation()) || !args) return S_OK;
        LPWSTR json = nullptr;
        HRESULT hr = args->get_WebMessageAsJson(&json);
        if (FAILED(hr) || !json) return S_OK;
        std::wstring text(json);
        ::CoTaskMemFree(json);
        std::string utf8 = platform::win32::narrow(text);
        auto page_message = room().hooks.page_message;
        if (!utf8.empty() && page_message) page_message(utf8);
        return S_OK;
    }
};

class ControllerCreated final : public ComHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> {
public:
    ControllerCreated(unsigned generation, std::wstring web_folder)
        : ComHandler(IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, generation),
          web_folder_(std::move(web_folder)) {}

    HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, ICoreWebView2Controller* controller) override {
        if (!current(generation())) return S_OK;
        if (FAILED(result) || !controller) {
            report_failure(generation());
            return S_OK;
        }
        Room& r = room();
        if (controller != r.controller) {
            controller->AddRef();
            release(r.controller);
            r.controller = controller;
        }
        release(r.web_view);
        if (FAILED(controller->get_CoreWebView2(&r.web_view))) r.web_view = nullptr;
        if (r.web_view) prepare(r);
        r.controller->put_IsVisible(TRUE);
        auto ready = r.hooks.ready;
        if (ready) ready();
        // The hook runs the layout; it could also have released the room.
        if (current(generation()) && r.web_view) r.web_view->Navigate(ROOM_PAGE);
        return S_OK;
    }

private:
    void prepare(Room& r) {
        ICoreWebView2_3* mapping = nullptr;
        // An old runtime without the mapping leaves the page unreachable; nothing else to do.
        if (SUCCEEDED(r.web_view->QueryInterface(IID_ICoreWebView2_3, reinterpret_cast<void**>(&mapping))) &&
            mapping) {
            mapping->SetVirtualHostNameToFolderMapping(ROOM_HOST, web_folder_.c_str(),
                                                       COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW);
            mapping->Release();
        }
        ICoreWebView2Settings* settings = nullptr;
        if (SUCCEEDED(r.web_view->get_Settings(&settings)) && settings) {
            settings->put_AreDefaultContextMenusEnabled(FALSE);
            settings->put_AreDevToolsEnabled(FALSE);
            settings->Release();
        }
        auto* handler = new MessageReceived(generation());
        r.web_view->add_WebMessageReceived(handler, &r.message_token);
        handler->Release();
    }

    std::wstring web_folder_;
};

class EnvironmentCreated final : public ComHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> {
public:
    EnvironmentCreated(unsigned generation, std::wstring web_folder)
        : ComHandler(IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, generation),
          web_folder_(std::move(web_folder)) {}

    HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, ICoreWebView2Environment* environment) override {
        if (!current(generation())) return S_OK;
        HWND window = room().window;
        if (FAILED(result) || !environment || !::IsWindow(window)) {
            report_failure(generation());
            return S_OK;
        }
        auto* handler = new ControllerCreated(generation(), web_folder_);
        HRESULT hr = environment->CreateCoreWebView2Controller(window, handler);
        handler->Release();
        if (FAILED(hr)) report_failure(generation());
        return S_OK;
    }

private:
    std::wstring web_folder_;
};

// The user data folder's parent, then the folder: one level each, errors ignored.
void create_user_data_folder(const std::wstring& folder) {
    std::size_t cut = folder.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0) ::CreateDirectoryW(folder.substr(0, cut).c_str(), nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr);
}

}  // namespace

void start_room(HWND main_window, const std::wstring& web_folder, const std::wstring& user_data_folder,
                WebHostHooks hooks) {
    Room& r = room();
    unsigned generation = ++r.generation;
    r.window = main_window;
    r.hooks = std::move(hooks);
    r.failure_reported = false;
    create_user_data_folder(user_data_folder);
    auto* handler = new EnvironmentCreated(generation, web_folder);
    HRESULT hr = create_webview_environment(user_data_folder, handler);
    handler->Release();
    // A call that fails at once (no runtime found, or the runtime refused) never reaches
    // the handler; the user sees the same status as for a later failure.
    if (FAILED(hr)) report_failure(generation);
}

bool set_room_bounds(const RECT& bounds) {
    ICoreWebView2Controller* controller = room().controller;
    if (!controller) return false;
    RECT now{};
    if (SUCCEEDED(controller->get_Bounds(&now)) && ::EqualRect(&now, &bounds)) return true;
    controller->put_Bounds(bounds);
    return true;
}

void post_to_page(const std::string& json) {
    ICoreWebView2* web_view = room().web_view;
    if (!web_view) return;
    std::wstring text = platform::win32::widen(json);
    if (text.empty()) return;
    web_view->PostWebMessageAsJson(text.c_str());
}

void release_room() {
    Room& r = room();
    ++r.generation;
    release(r.web_view);
    release(r.controller);
    r.window = nullptr;
    r.hooks = {};
}

}  // namespace win32_shell
