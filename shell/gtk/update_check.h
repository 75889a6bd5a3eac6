#pragma once
// The update check: once per run, on its own thread, the profile's update page is
// fetched (chain::page_get) and read by shell::check_for_update; a newer version is
// announced on the main window's thread with one Yes/No question, Yes opens the page.
#include <gtk/gtk.h>

#include <cstddef>
#include <string>

#include "shell/update.h"

namespace gtk_shell {

// Starts the update check on its own thread (libcurl GET of the profile's update page
// through shell::check_for_update); when a newer version is found, asks on the main
// window's thread (g_main_context_invoke) and opens the download page on Yes.
void start_update_check(GtkWindow* parent);

// User-interface thread: a newer version was announced in this run (the Settings window
// then shows "Update available").
bool update_available();
// Opens the announced page in the browser; nothing before an update was announced.
void open_update_page(GtkWindow* parent);

// The GET the check runs: chain::page_get, the reply's status only when it arrived.
shell::HttpReply fetch_update_page(const std::string& url, const std::string& user_agent, std::size_t max_body);

}  // namespace gtk_shell
