#include "ledger/request_gate.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace ledger {

namespace {

struct Gate {
    std::mutex mutex;
    std::condition_variable freed;
    int held = 0;
    int peak = 0;
    long made = 0;
};

Gate& gate() {
    static Gate g;
    return g;
}

}  // namespace

RequestSlot::RequestSlot() {
    Gate& g = gate();
    std::unique_lock<std::mutex> lock(g.mutex);
    g.freed.wait(lock, [&] { return g.held < MAX_REQUESTS_IN_FLIGHT; });
    ++g.held;
    ++g.made;
    if (g.held > g.peak) g.peak = g.held;
}

RequestSlot::~RequestSlot() {
    Gate& g = gate();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        --g.held;
    }
    g.freed.notify_one();
}

int requests_peak() {
    std::lock_guard<std::mutex> lock(gate().mutex);
    return gate().peak;
}

long requests_made() {
    std::lock_guard<std::mutex> lock(gate().mutex);
    return gate().made;
}

void reset_request_counts() {
    std::lock_guard<std::mutex> lock(gate().mutex);
    gate().peak = gate().held;
    gate().made = 0;
}

void run_jobs(std::size_t count, std::size_t width, const std::function<void(std::size_t)>& job) {
    if (count == 0) return;
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                job(i);
            } catch (...) {
            }
        }
    };
    const std::size_t threads = std::min(count, width < 1 ? std::size_t{1} : width);
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (std::size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(worker);
        } catch (...) {
            break;  // fewer threads, same work
        }
    }
    worker();
    for (auto& h : helpers) h.join();
}

}  // namespace ledger
