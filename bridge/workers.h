#pragma once
// Every thread the bridge starts is counted here, so the shell can quit without cutting
// a worker off between a broadcast and its journal write or in the middle of a file
// write: it stops taking operations, then waits a bounded time for the running ones.
#include <functional>

namespace bridge {

// Runs job on a new detached thread counted among the running workers. False when no
// thread could be started (the job does not run). An exception leaving the job ends
// only that job.
bool start_worker(std::function<void()> job);
// From now on the handlers answer new operations with the busy reply.
void stop_taking_operations();
bool taking_operations();
// Waits up to ms milliseconds for every running worker to end; true when none runs.
bool wait_for_workers(int ms);
int running_workers();
// Tests: take operations again (only once no worker runs).
void reset_workers();

}  // namespace bridge
