#include "platform/window.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace platform {

namespace {

// libX11 is loaded on demand: the command-line programs run where no X library (or
// no display) exists, and must not need one to start.
struct X11 {
    void* lib = nullptr;
    Display* (*open_display)(const char*) = nullptr;
    int (*close_display)(Display*) = nullptr;
    Status (*query_tree)(Display*, Window, Window*, Window*, Window**, unsigned int*) = nullptr;
    Status (*get_class_hint)(Display*, Window, XClassHint*) = nullptr;
    int (*free)(void*) = nullptr;
    int (*map_raised)(Display*, Window) = nullptr;
    int (*set_input_focus)(Display*, Window, int, Time) = nullptr;
    Atom (*intern_atom)(Display*, const char*, Bool) = nullptr;
    Status (*send_event)(Display*, Window, Bool, long, XEvent*) = nullptr;
    int (*flush)(Display*) = nullptr;

    bool load() {
        lib = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return false;
        auto sym = [this](const char* name) { return ::dlsym(lib, name); };
        open_display = reinterpret_cast<decltype(open_display)>(sym("XOpenDisplay"));
        close_display = reinterpret_cast<decltype(close_display)>(sym("XCloseDisplay"));
        query_tree = reinterpret_cast<decltype(query_tree)>(sym("XQueryTree"));
        get_class_hint = reinterpret_cast<decltype(get_class_hint)>(sym("XGetClassHint"));
        free = reinterpret_cast<decltype(free)>(sym("XFree"));
        map_raised = reinterpret_cast<decltype(map_raised)>(sym("XMapRaised"));
        set_input_focus = reinterpret_cast<decltype(set_input_focus)>(sym("XSetInputFocus"));
        intern_atom = reinterpret_cast<decltype(intern_atom)>(sym("XInternAtom"));
        send_event = reinterpret_cast<decltype(send_event)>(sym("XSendEvent"));
        flush = reinterpret_cast<decltype(flush)>(sym("XFlush"));
        return open_display && close_display && query_tree && get_class_hint && free && map_raised &&
               set_input_focus && intern_atom && send_event && flush;
    }
    ~X11() {
        if (lib) ::dlclose(lib);
    }
};

// Depth-first search over the window tree for a matching WM_CLASS.
Window find_window(X11& x, Display* d, Window w, const std::string& cls, int depth) {
    XClassHint hint{};
    if (x.get_class_hint(d, w, &hint)) {
        bool match = (hint.res_class && cls == hint.res_class) || (hint.res_name && cls == hint.res_name);
        if (hint.res_name) x.free(hint.res_name);
        if (hint.res_class) x.free(hint.res_class);
        if (match) return w;
    }
    if (depth > 4) return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (!x.query_tree(d, w, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i) found = find_window(x, d, children[i], cls, depth + 1);
    if (children) x.free(children);
    return found;
}

}  // namespace

bool raise_window_by_class(const std::string& window_class) {
    const char* display_name = std::getenv("DISPLAY");
    if (!display_name || !*display_name || window_class.empty()) return false;
    X11 x;
    if (!x.load()) return false;
    Display* d = x.open_display(nullptr);
    if (!d) return false;
    Window root = DefaultRootWindow(d);
    Window w = find_window(x, d, root, window_class, 0);
    if (w) {
        x.map_raised(d, w);
        // With a window manager, ask it to activate; without one, focus directly.
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = x.intern_atom(d, "_NET_ACTIVE_WINDOW", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = 1;
        ev.xclient.data.l[1] = CurrentTime;
        x.send_event(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
        x.set_input_focus(d, w, RevertToParent, CurrentTime);
        x.flush(d);
    }
    x.close_display(d);
    return w != 0;
}

}  // namespace platform
