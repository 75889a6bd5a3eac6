#pragma once
// The room in a WebKitGTK view: the web folder served through the quenvale:// scheme
// (and the bridge's picture store at spots/), the page's window.chrome.webview injected
// at document start, page messages handed to the bridge's dispatcher and replies
// delivered into the page in posting order. Everything here runs on the user-interface
// thread.
#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace gtk_shell {

// Shown instead of the room when no web view could start.
inline constexpr const char* WEB_VIEW_MISSING_TEXT =
    "The web view could not start. Install WebKitGTK 4.1 (libwebkit2gtk-4.1-0), then open Quenvale again.";

struct WebHostOptions {
    std::string web_folder;   // the room's files
    std::string data_folder;  // website data and cache go below it
    bool automation = false;  // WebKitWebDriver may drive the view (tests only)
    std::function<void()> closed;  // the automation session closed the view
    std::function<void()> failed;  // the web process could not start the page
};

// Creates the view and loads the room; nullptr when no view could be made.
GtkWidget* web_host_new(const WebHostOptions& options);
// Hands one JSON reply to the page; dropped until the page's document has started.
void web_host_deliver(GtkWidget* view, const std::string& json);

// The document-start script that gives the page window.chrome.webview.
const char* webview_shim_script();

}  // namespace gtk_shell
