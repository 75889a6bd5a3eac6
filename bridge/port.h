#pragma once
// The one way the bridge reaches the shell. Each shell backend implements it (GTK,
// Win32, the headless page host of quenvale-cli) and tests use a recording fake; the
// bridge itself never names a toolkit. Calls marked "any thread" may come from workers;
// the shell hands them to its user-interface thread and keeps their order.
#include <string>
#include <vector>

namespace bridge {

// The camera settings the page is told about: Quick (scale 1.7) or Steady (1.0), and
// frames per second (30, 60, 90 or 120).
struct LookSettings {
    bool quick = false;
    int fps = 60;
};

// One gallery step that waits on the user: the frame and what to do there.
struct NoteItem {
    int spot = 0;
    std::string text;
};

class ShellPort {
public:
    virtual ~ShellPort() = default;
    // Any thread. A compact JSON object for the page; texts reach the page in the order
    // they were posted. One posted before the page is ready is dropped by the shell.
    virtual void post_page_reply(std::string json) = 0;
    // Any thread. A new notes list for the bell.
    virtual void post_notes(std::vector<NoteItem> notes) = 0;
    // Any thread. The shell answers by calling bridge::entry_result(text) on its
    // user-interface thread.
    virtual void post_entry_result(std::string text) = 0;
    // User-interface thread: a modal yes/no question on the main window, No the
    // default. True for Yes.
    virtual bool ask_yes_no(const std::string& question, const std::string& title) = 0;
    // User-interface thread: the program ends ms milliseconds from now.
    virtual void start_quit_timer(int ms) = 0;
    // User-interface thread: the view now faces word (North, North-east, …) at deg
    // degrees, turned by delta degrees (-180..180) since the last facing.
    virtual void facing_changed(const std::string& word, int deg, int delta) = 0;
    // Any thread: start the notes worker, or ask a running one for one more run.
    virtual void start_notes_refresh() = 0;
    // User-interface thread: the look settings as stored now.
    virtual LookSettings look_settings() = 0;
};

}  // namespace bridge
