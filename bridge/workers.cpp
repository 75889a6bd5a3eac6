#include "bridge/workers.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace bridge {

namespace {

struct WorkerState {
    std::mutex mutex;  // guards running and stopped
    std::condition_variable idle;
    int running = 0;
    bool stopped = false;
};

WorkerState& workers() {
    static WorkerState s;
    return s;
}

void finished() {
    WorkerState& w = workers();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (--w.running == 0) w.idle.notify_all();
}

}  // namespace

bool start_worker(std::function<void()> job) {
    WorkerState& w = workers();
    {
        std::lock_guard<std::mutex> lock(w.mutex);
        ++w.running;
    }
    try {
        std::thread([job = std::move(job)] {
            try {
                job();
            } catch (...) {
                // A job reports its own outcome; a stray exception must not end the program.
            }
            finished();
        }).detach();
    } catch (const std::system_error&) {
        finished();
        return false;
    }
    return true;
}

void stop_taking_operations() {
    WorkerState& w = workers();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.stopped = true;
}

bool taking_operations() {
    WorkerState& w = workers();
    std::lock_guard<std::mutex> lock(w.mutex);
    return !w.stopped;
}

bool wait_for_workers(int ms) {
    WorkerState& w = workers();
    std::unique_lock<std::mutex> lock(w.mutex);
    return w.idle.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms), [&w] { return w.running == 0; });
}

int running_workers() {
    WorkerState& w = workers();
    std::lock_guard<std::mutex> lock(w.mutex);
    return w.running;
}

void reset_workers() {
    WorkerState& w = workers();
    std::lock_guard<std::mutex> lock(w.mutex);
    w.stopped = false;
}

}  // namespace bridge
