#pragma once
// One ceiling on the chain requests the gallery readers have open at the same time,
// whatever thread they come from, and a small helper that runs numbered jobs on a few
// threads. Nothing here throws.
#include <cstddef>
#include <functional>

namespace ledger {

// Chain services answer 429 sooner than they answer a crowd; 32 keeps the whole
// process (ten frames reading at once) below that.
inline constexpr int MAX_REQUESTS_IN_FLIGHT = 32;

// Holds one of the MAX_REQUESTS_IN_FLIGHT places for its lifetime, waiting for one
// when all are taken. Hold it around a single exchange only, never while taking
// another, so holders never wait on each other.
class RequestSlot {
public:
    RequestSlot();
    ~RequestSlot();
    RequestSlot(const RequestSlot&) = delete;
    RequestSlot& operator=(const RequestSlot&) = delete;
};

// Tests and benchmarks: the most places held at once since the last reset, and the
// number of exchanges made.
int requests_peak();
long requests_made();
void reset_request_counts();

// Runs job(0..count-1) on at most width threads (the caller's included) and returns
// when all have finished. A job that throws is treated as finished.
void run_jobs(std::size_t count, std::size_t width, const std::function<void(std::size_t)>& job);

}  // namespace ledger
