#pragma once
// A process-wide cache in which concurrent readers of one key share one fetch: the
// first reader fetches outside the lock while the others wait for its answer. Only
// successful fetches are kept; each kept value says how long it stays fresh. Values
// are copied out: keep large ones behind a shared pointer.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "core/clock.h"
#include "ledger/request_gate.h"

namespace ledger {

template <typename Value>
class FlightCache {
public:
    using Fetch = std::function<bool(Value&)>;
    using Lifetime = std::function<std::int64_t(const Value&)>;  // ms on the monotonic clock

    // A fresh value, else the answer of the fetch already running for key, else a new
    // fetch. A failed fetch is not kept: one of the readers that waited for it tries
    // again. fetch must not throw.
    bool get(const std::string& key, const Fetch& fetch, const Lifetime& lifetime, Value& out) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            for (;;) {
                auto it = entries_.find(key);
                if (it != entries_.end() && core::monotonic_ms() - it->second.taken_at < it->second.fresh_ms) {
                    out = it->second.value;
                    note_depth(it->second.depth);  // the answer came after that many requests
                    return true;
                }
                if (!fetching_.count(key)) break;
                done_.wait(lock);
            }
            fetching_.insert(key);
        }
        Value got{};
        bool ok = false;
        try {
            ok = fetch(got);
        } catch (...) {
            ok = false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (ok) entries_[key] = Entry{got, core::monotonic_ms(), lifetime(got), current_depth()};
            fetching_.erase(key);
        }
        done_.notify_all();
        if (ok) out = std::move(got);
        return ok;
    }

    // Whether get would answer key at once, without a fetch.
    bool fresh(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(key);
        return it != entries_.end() && core::monotonic_ms() - it->second.taken_at < it->second.fresh_ms;
    }

    // A fetch running for key still stores its answer when it ends.
    void erase(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.erase(key);
    }

    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
    }

private:
    struct Entry {
        Value value;
        std::int64_t taken_at = 0;
        std::int64_t fresh_ms = 0;
        RequestDepth depth;
    };
    std::mutex mutex_;
    std::condition_variable done_;
    std::map<std::string, Entry> entries_;
    std::set<std::string> fetching_;
};

}  // namespace ledger
