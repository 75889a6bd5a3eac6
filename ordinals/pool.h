#pragma once
// A small fixed pool for the network fan-out of the ordinals list: jobs 0..n-1 run on
// at most max_threads threads, all joined before the call returns.
#include <cstddef>
#include <functional>

namespace ordinals {

// A job that throws only loses its own result. When no thread can be started the
// remaining jobs run on the calling thread.
void run_pool(std::size_t jobs, std::size_t max_threads, const std::function<void(std::size_t)>& job);

}  // namespace ordinals
