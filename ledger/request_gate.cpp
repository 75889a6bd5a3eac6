#include "ledger/request_gate.h"

#include "chain/http.h"

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
    int longest = 0;
    std::atomic<long> epoch{1};
};

Gate& gate() {
    static Gate g;
    return g;
}

thread_local RequestDepth thread_depth;

RequestDepth deeper(const RequestDepth& a, const RequestDepth& b) { return b.depth > a.depth ? b : a; }

}  // namespace

RequestDepth current_depth() {
    const long epoch = gate().epoch.load();
    return thread_depth.epoch == epoch ? thread_depth : RequestDepth{epoch, 0};
}

void set_depth(const RequestDepth& d) { thread_depth = d; }

void note_depth(const RequestDepth& d) {
    if (d.epoch == gate().epoch.load()) thread_depth = deeper(current_depth(), d);
}

RequestSlot::RequestSlot() : asked_at_(current_depth()) {
    Gate& g = gate();
    std::unique_lock<std::mutex> lock(g.mutex);
    g.freed.wait(lock, [&] { return g.held < MAX_REQUESTS_IN_FLIGHT; });
    ++g.held;
    ++g.made;
    if (g.held > g.peak) g.peak = g.held;
}

RequestSlot::~RequestSlot() {
    Gate& g = gate();
    const RequestDepth answered{asked_at_.epoch, asked_at_.depth + 1};
    note_depth(answered);
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        --g.held;
        if (answered.epoch == g.epoch.load() && answered.depth > g.longest) g.longest = answered.depth;
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

int longest_request_chain() {
    std::lock_guard<std::mutex> lock(gate().mutex);
    return gate().longest;
}

bool gated_gallery_json(const std::string& url, long timeout_s, core::Json& out) {
    out = nullptr;
    if (url.empty()) return false;
    RequestSlot slot;
    return chain::gallery_get_json(url, timeout_s, out);
}

bool gated_art_json(const std::string& url, long timeout_s, core::Json& out) {
    out = nullptr;
    if (url.empty()) return false;
    RequestSlot slot;
    return chain::art_get_json(url, timeout_s, out);
}

void reset_request_counts() {
    std::lock_guard<std::mutex> lock(gate().mutex);
    gate().peak = gate().held;
    gate().made = 0;
    gate().longest = 0;
    ++gate().epoch;
}

void run_jobs(std::size_t count, std::size_t width, const std::function<void(std::size_t)>& job) {
    if (count == 0) return;
    std::atomic<std::size_t> next{0};
    const RequestDepth start = current_depth();
    std::mutex deepest_mutex;
    RequestDepth deepest = start;
    auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            set_depth(start);
            try {
                job(i);
            } catch (...) {
            }
            std::lock_guard<std::mutex> lock(deepest_mutex);
            deepest = deeper(deepest, current_depth());
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
    set_depth(start);
    note_depth(deepest);
}

}  // namespace ledger
