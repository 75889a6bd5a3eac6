#pragma once
// The wallet's ordinals list: every inscription and token output the connected wallet
// holds, with the kind that tells artworks from certificates, built from the 1Sat
// ordinals index and the local caches. It also keeps the wallet's owned list and the
// inscription snapshot up to date.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ordinals/rows.h"

namespace ordinals {

inline constexpr std::int64_t LIST_CACHE_MS = 60000;
inline constexpr std::size_t LIST_THREADS = 4;
// Most rows one build takes from the index replies: the index's answer is outside
// data, and every row costs cache reads and a place in the owned list.
inline constexpr std::size_t MAX_LIST_ROWS = 10000;

inline constexpr const char* ERR_NO_WALLET = "error: no Wendrel wallet.";
inline constexpr const char* ERR_NO_WATCH = "error: no watch addresses.";
inline constexpr const char* ERR_WALLET_CHANGED = "error: wallet changed.";
inline constexpr const char* ERR_INDEX_DOWN = "error: 1Sat index unavailable. 1-sat coins are held back from spend.";

// Builds the list afresh into rows (replacing them): "" on success, else an error
// text. Builds run one at a time. The two flags are part of the platform's call shape
// and change nothing. Any wallet-state lock the caller holds is let go for the run.
std::string ov_wendrel_list_ordinals(std::vector<OvWendrelOrdRow>& rows, bool flag_a = true, bool flag_b = false);

// The list of the last successful build when it belongs to this wallet and is at most
// 60 seconds old. Otherwise, while a build runs, waits for it and takes its outcome
// (rows or error) when it was for this wallet; else builds. Callers that arrive
// together on a stale cache share one build.
std::string wallet_ordinals(std::vector<OvWendrelOrdRow>& rows);

struct ListCache {
    std::mutex build_mutex;  // held for a whole build
    std::mutex mutex;        // guards the members below; never held across the network
    std::condition_variable idle;  // signalled whenever a build finishes
    int in_progress = 0;           // builds started and not finished
    int waiting = 0;               // wallet_ordinals callers waiting for a build
    std::vector<OvWendrelOrdRow> rows;
    std::string word;  // wallet_key_word of the wallet the rows belong to
    std::int64_t made_at = 0;  // monotonic ms
    // The outcome of the last build to finish, successful or not.
    std::uint64_t finished = 0;  // builds finished so far
    std::string last_word;       // "" when the build never knew its wallet
    std::string last_result;
    std::vector<OvWendrelOrdRow> last_rows;
};
ListCache& list_cache();
// Tests: forget the cached list.
void reset_list_cache();

}  // namespace ordinals
