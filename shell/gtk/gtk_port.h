#pragma once
// The bridge's ShellPort for the GTK program. Calls allowed from any thread are queued
// and run on the user-interface thread in the order they were posted (one queue for all
// of them, drained from the GLib main context); the user-interface-thread calls act at
// once. The window parts are reached through the hooks, so the port knows no widget.
#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/port.h"

namespace gtk_shell {

struct PortHooks {
    std::function<void(const std::string& json)> deliver;           // into the page
    std::function<void(std::vector<bridge::NoteItem>)> notes;        // to the header bar
    std::function<void(const std::string&, int, int)> facing;       // to the header bar
    std::function<void()> notes_refresh;                             // any thread
    std::function<void()> quit;                                      // the close path
    std::function<GtkWindow*()> parent;                              // for the question
    std::string data_folder;                                         // look.json
};

class GtkPort : public bridge::ShellPort {
public:
    explicit GtkPort(PortHooks hooks);
    void post_page_reply(std::string json) override;
    void post_notes(std::vector<bridge::NoteItem> notes) override;
    void post_entry_result(std::string text) override;
    bool ask_yes_no(const std::string& question, const std::string& title) override;
    void start_quit_timer(int ms) override;
    void facing_changed(const std::string& word, int deg, int delta) override;
    void start_notes_refresh() override;
    bridge::LookSettings look_settings() override;

    // Any thread: runs task on the user-interface thread after everything queued before it.
    void run_on_ui(std::function<void()> task);

private:
    static gboolean drain(gpointer self);

    PortHooks hooks_;
    std::mutex mutex_;  // guards queue_ and drain_pending_
    std::deque<std::function<void()>> queue_;
    bool drain_pending_ = false;
};

}  // namespace gtk_shell
