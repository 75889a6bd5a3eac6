#include "ordinals/pool.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace ordinals {

void run_pool(std::size_t jobs, std::size_t max_threads, const std::function<void(std::size_t)>& job) {
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < jobs; i = next++) {
            try {
                job(i);
            } catch (...) {
            }
        }
    };
    std::vector<std::thread> threads;
    std::size_t n = std::min(jobs, std::max<std::size_t>(1, max_threads));
    for (std::size_t t = 0; t < n; ++t) {
        try {
            threads.emplace_back(worker);
        } catch (...) {
            break;
        }
    }
    if (threads.empty()) worker();
    for (auto& th : threads) th.join();
}

}  // namespace ordinals
