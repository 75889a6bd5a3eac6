#pragma once
// A bounded fan-out for network work: jobs 0..n-1 run on at most a fixed number of
// threads of their own, all joined before the call returns, so a long list of requests
// never opens more than that many connections at once.
#include <cstddef>
#include <functional>
#include <string>

namespace core {

// Runs job(i) for every i in 0..jobs-1 on at most max_threads threads (at least one).
// When the system refuses a thread, the threads already running take its share. When
// it refuses the first one, no job runs and the result is false with the reason in
// error. An exception leaving a job is caught there and ends only that job; jobs
// report their own outcome.
bool run_bounded(std::size_t jobs, std::size_t max_threads, const std::function<void(std::size_t)>& job,
                 std::string& error);

}  // namespace core
