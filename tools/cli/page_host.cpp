#include "tools/cli/page_host.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "bridge/handlers.h"
#include "bridge/pictures.h"
#include "bridge/port.h"
#include "bridge/protocol.h"
#include "bridge/workers.h"
#include "core/text.h"
#include "platform/folders.h"
#include "shell/view_settings.h"

namespace cli {

namespace {

// A line longer than this is not a page message; the rest of it is skipped.
constexpr std::size_t MAX_LINE_BYTES = 1024 * 1024;
// How long the host waits for running operations once it is told to end.
constexpr int FINISH_WAIT_MS = 120000;

// The host's one "user-interface thread": the main thread runs what is queued here.
struct Loop {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool input_done = false;
    std::optional<std::chrono::steady_clock::time_point> quit_at;
};

// Never destroyed: the detached reader may still queue or notify while the program's
// exit runs the static destructors.
Loop& loop() {
    static Loop& l = *new Loop;
    return l;
}

void queue_task(std::function<void()> task) {
    Loop& l = loop();
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        l.tasks.push_back(std::move(task));
    }
    l.wake.notify_all();
}

class LinePort : public bridge::ShellPort {
public:
    explicit LinePort(bool answer_yes) : answer_yes_(answer_yes) {}

    void post_page_reply(std::string json) override {
        std::lock_guard<std::mutex> lock(out_mutex_);
        std::fwrite(json.data(), 1, json.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    // The headless host has no bell.
    void post_notes(std::vector<bridge::NoteItem>) override {}
    void post_entry_result(std::string text) override {
        queue_task([text = std::move(text)] { bridge::entry_result(text); });
    }
    bool ask_yes_no(const std::string& question, const std::string&) override {
        std::fprintf(stderr, "quenvale-cli: %s %s\n", core::strip_controls(question).c_str(),
                     answer_yes_ ? "yes" : "no");
        return answer_yes_;
    }
    void start_quit_timer(int ms) override {
        Loop& l = loop();
        {
            std::lock_guard<std::mutex> lock(l.mutex);
            l.quit_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        }
        l.wake.notify_all();
    }
    void facing_changed(const std::string&, int, int) override {}
    void start_notes_refresh() override {}
    // The windowed program's look.json, read afresh as the windows do.
    bridge::LookSettings look_settings() override { return shell::read_look(platform::data_dir()); }

private:
    bool answer_yes_;
    std::mutex out_mutex_;
};

// Reads standard input line by line and queues each line for the dispatcher.
void read_input() {
    std::string line;
    bool skipping = false;
    char chunk[8192];
    while (std::fgets(chunk, sizeof chunk, stdin)) {
        std::string_view part(chunk);
        const bool ends = !part.empty() && part.back() == '\n';
        if (ends) part.remove_suffix(1);
        if (!skipping) {
            line.append(part);
            if (line.size() > MAX_LINE_BYTES) {
                skipping = true;
                line.clear();
            }
        }
        if (!ends) continue;
        if (!skipping && !line.empty()) queue_task([text = std::move(line)] { bridge::dispatch_page_message(text); });
        line.clear();
        skipping = false;
    }
    if (!skipping && !line.empty()) queue_task([text = std::move(line)] { bridge::dispatch_page_message(text); });
    Loop& l = loop();
    {
        std::lock_guard<std::mutex> lock(l.mutex);
        l.input_done = true;
    }
    l.wake.notify_all();
}

}  // namespace

int run_page_host(const PageHostOptions& options) {
    static LinePort port(options.answer_yes);
    bridge::set_picture_folders(options.web_dir, platform::data_dir());
    bridge::start_bridge(&port);
    std::thread reader(read_input);
    reader.detach();  // blocked in fgets when the quit timer ends the host

    Loop& l = loop();
    std::unique_lock<std::mutex> lock(l.mutex);
    for (;;) {
        if (!l.tasks.empty()) {
            auto task = std::move(l.tasks.front());
            l.tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (l.quit_at && std::chrono::steady_clock::now() >= *l.quit_at) break;
        if (l.input_done) {
            // The last messages' work may still be running: its replies and any admission
            // result come back through the queue.
            if (bridge::running_workers() == 0) break;
            l.wake.wait_for(lock, std::chrono::milliseconds(50));
            continue;
        }
        if (l.quit_at)
            l.wake.wait_until(lock, *l.quit_at);
        else
            l.wake.wait(lock);
    }
    lock.unlock();
    bridge::stop_taking_operations();
    bridge::wait_for_workers(FINISH_WAIT_MS);
    std::fflush(stdout);
    return 0;
}

}  // namespace cli
