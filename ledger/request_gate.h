#pragma once
// One ceiling on the chain requests the gallery readers have open at the same time,
// whatever thread they come from, and a small helper that runs numbered jobs on a few
// threads. Nothing here throws.
#include <cstddef>
#include <functional>
#include <string>

#include "chain/http.h"
#include "core/json.h"

namespace ledger {

// Chain services answer 429 sooner than they answer a crowd; 32 keeps the whole
// process (ten frames reading at once) below that.
inline constexpr int MAX_REQUESTS_IN_FLIGHT = 32;

// Holds one of the MAX_REQUESTS_IN_FLIGHT places for its lifetime, waiting for one
// when all are taken. Hold it around a single exchange only, never while taking
// another, so holders never wait on each other.
// How many answers, one after another, the work on a thread has waited for: a request
// is one deeper than what its thread knew when asking. The depth follows jobs of
// run_jobs (each starts at its caller's, the caller ends at the deepest), items handed
// between threads, and cached answers (see FlightCache). Counted since the last
// reset_request_counts; older depths count as 0.
struct RequestDepth {
    long epoch = 0;
    int depth = 0;
};
RequestDepth current_depth();
void set_depth(const RequestDepth& d);   // this thread's work starts from d
void note_depth(const RequestDepth& d);  // this thread's work now also waited for d

class RequestSlot {
public:
    RequestSlot();
    ~RequestSlot();
    RequestSlot(const RequestSlot&) = delete;
    RequestSlot& operator=(const RequestSlot&) = delete;

private:
    RequestDepth asked_at_;
};

// One gallery JSON GET (chain::gallery_get_json) or art GET (chain::art_get_json) while
// holding a place; false for an empty url.
bool gated_gallery_json(const std::string& url, long timeout_s, core::Json& out);
bool gated_art_json(const std::string& url, long timeout_s, core::Json& out);

// Tests and benchmarks: the most places held at once since the last reset, the number
// of exchanges made, and the longest chain of requests each waiting for the last.
int requests_peak();
long requests_made();
int longest_request_chain();
void reset_request_counts();

// Runs job(0..count-1) on at most width threads (the caller's included) and returns
// when all have finished. A job that throws is treated as finished.
void run_jobs(std::size_t count, std::size_t width, const std::function<void(std::size_t)>& job);

}  // namespace ledger
