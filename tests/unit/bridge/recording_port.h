#pragma once
// Test support for the bridge: a shell port that records everything the bridge asks of
// the shell, and a gate that holds an operation until the test lets it go.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "bridge/port.h"
#include "core/json.h"

namespace bridge_test {

class RecordingPort : public bridge::ShellPort {
public:
    void post_page_reply(std::string json) override {
        core::Json j;
        core::parse_json(json, j);
        std::lock_guard<std::mutex> lock(mutex_);
        raw_.push_back(std::move(json));
        replies_.push_back(std::move(j));
        cv_.notify_all();
    }
    void post_notes(std::vector<bridge::NoteItem> notes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        notes_.push_back(std::move(notes));
    }
    void post_entry_result(std::string text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        entry_results_.push_back(std::move(text));
        cv_.notify_all();
    }
    bool ask_yes_no(const std::string& question, const std::string& title) override {
        std::lock_guard<std::mutex> lock(mutex_);
        questions_.push_back(title + ": " + question);
        return answer;
    }
    void start_quit_timer(int ms) override {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_timers_.push_back(ms);
    }
    void facing_changed(const std::string& word, int deg, int delta) override {
        std::lock_guard<std::mutex> lock(mutex_);
        facings_.emplace_back(word, deg, delta);
    }
    void start_notes_refresh() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++notes_refreshes_;
    }
    bridge::LookSettings look_settings() override { return look; }

    // Waits up to ms for at least n replies; the replies so far.
    std::vector<core::Json> wait_replies(std::size_t n, int ms = 10000) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return replies_.size() >= n; });
        return replies_;
    }
    std::vector<std::string> wait_entry_results(std::size_t n, int ms = 10000) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return entry_results_.size() >= n; });
        return entry_results_;
    }
    std::vector<core::Json> replies() {
        std::lock_guard<std::mutex> lock(mutex_);
        return replies_;
    }
    std::vector<std::string> raw() {
        std::lock_guard<std::mutex> lock(mutex_);
        return raw_;
    }
    std::vector<std::string> questions() {
        std::lock_guard<std::mutex> lock(mutex_);
        return questions_;
    }
    std::vector<int> quit_timers() {
        std::lock_guard<std::mutex> lock(mutex_);
        return quit_timers_;
    }
    std::vector<std::tuple<std::string, int, int>> facings() {
        std::lock_guard<std::mutex> lock(mutex_);
        return facings_;
    }
    int notes_refreshes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return notes_refreshes_;
    }

    bool answer = false;
    bridge::LookSettings look;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> raw_;
    std::vector<core::Json> replies_;
    std::vector<std::vector<bridge::NoteItem>> notes_;
    std::vector<std::string> entry_results_;
    std::vector<std::string> questions_;
    std::vector<int> quit_timers_;
    std::vector<std::tuple<std::string, int, int>> facings_;
    int notes_refreshes_ = 0;
};

// Holds whoever waits on it until released.
class Gate {
public:
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++waiting_;
        cv_.notify_all();
        cv_.wait(lock, [this] { return open_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    // Holds the next comers again.
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = false;
        waiting_ = 0;
    }
    // Waits until someone is held at the gate.
    bool wait_for_holder(int ms = 10000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return waiting_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
    int waiting_ = 0;
};

}  // namespace bridge_test
