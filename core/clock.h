#pragma once
// The clock seam: wall time, a monotonic clock and sleeping. Tests install their own
// hooks so that caches, retries and journals are exercised without waiting.
#include <cstdint>
#include <functional>

namespace core {

struct ClockHooks {
    std::function<std::int64_t()> wall_ms;      // milliseconds since 1970 UTC
    std::function<std::int64_t()> monotonic_ms;  // arbitrary origin, never goes back
    std::function<void(std::int64_t)> sleep_ms;
};

std::int64_t now_ms();
std::int64_t now_seconds();
std::int64_t monotonic_ms();
void sleep_ms(std::int64_t ms);

// Replace the clock for the whole process (tests only; set before threads start).
void set_clock(ClockHooks hooks);
void reset_clock();

}  // namespace core
