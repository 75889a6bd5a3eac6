#include "ordinals/pool.h"

#include "core/pool.h"

namespace ordinals {

void run_pool(std::size_t jobs, std::size_t max_threads, const std::function<void(std::size_t)>& job) {
    std::string error;
    if (core::run_bounded(jobs, max_threads, job, error)) return;
    // No thread could be started: the listing still completes, one request at a time.
    for (std::size_t i = 0; i < jobs; ++i) {
        try {
            job(i);
        } catch (...) {
        }
    }
}

}  // namespace ordinals
