#include "core/pool.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace core {

bool run_bounded(std::size_t jobs, std::size_t max_threads, const std::function<void(std::size_t)>& job,
                 std::string& error) {
    error.clear();
    if (jobs == 0) return true;
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < jobs; i = next++) {
            try {
                job(i);
            } catch (...) {
                // Only this job's result is lost; its task still reads as not done.
            }
        }
    };
    std::vector<std::thread> threads;
    std::size_t wanted = std::min(jobs, std::max<std::size_t>(1, max_threads));
    std::string refused;
    for (std::size_t t = 0; t < wanted; ++t) {
        try {
            threads.emplace_back(worker);
        } catch (const std::exception& e) {  // std::system_error, or no memory for the list
            refused = e.what();
            break;
        }
    }
    for (auto& th : threads) th.join();
    if (threads.empty()) {
        error = "could not start a worker thread (" + (refused.empty() ? std::string("no reason given") : refused) + ")";
        return false;
    }
    return true;
}

}  // namespace core
