#include "wallet/discovery.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "chain/woc.h"
#include "core/crypto.h"
#include "core/json.h"
#include "wallet/derive.h"
#include "wallet/document.h"
#include "wallet/state.h"

namespace wallet {

namespace {
constexpr std::uint64_t LOOKAHEAD = 400;
constexpr long DISCOVERY_TIMEOUT_S = 20;

std::recursive_mutex& discovery_mutex() {
    static std::recursive_mutex m;
    return m;
}
}  // namespace

std::string discover_receive_addresses() {
    std::lock_guard<std::recursive_mutex> discovery(discovery_mutex());
    std::uint64_t last = 0, start = 0;
    std::uint64_t generation = 0;
    std::vector<std::string> addresses;
    {
        WalletLock lock(wallet_mutex());
        if (!load_wallet() || !wallet_state().hd) return "";
        auto& s = wallet_state();
        generation = s.generation;
        last = s.recv[1];
        start = std::max<std::uint64_t>(last + 1, s.scan_mark);
        if (start > last + LOOKAHEAD || start > MAX_CHILD_INDEX) return "";
        addresses = receive_addresses(start, last + LOOKAHEAD);
        // An index without a key (vanishingly rare) ends the scan before it starts.
        if (std::find(addresses.begin(), addresses.end(), std::string()) != addresses.end()) return "";
    }

    std::int64_t highest_used = -1;
    std::int64_t scanned_to = -1;  // last index of the last answered batch
    std::string failure;
    for (std::size_t b = 0; b < addresses.size(); b += chain::WOC_BULK_CAP) {
        std::size_t end = std::min(b + chain::WOC_BULK_CAP, addresses.size());
        std::vector<std::string> batch(addresses.begin() + static_cast<std::ptrdiff_t>(b),
                                       addresses.begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<bool> used;
        std::string error;
        // A batch without an answer ends this scan; the next one starts from it again.
        if (!chain::woc_addresses_used(batch, DISCOVERY_TIMEOUT_S, used, error)) {
            failure = error;
            break;
        }
        for (std::size_t k = b; k < end; ++k)
            if (used[k - b]) highest_used = std::max(highest_used, static_cast<std::int64_t>(start + k));
        scanned_to = static_cast<std::int64_t>(start + end) - 1;
    }

    WalletLock lock(wallet_mutex());
    if (!load_wallet() || !wallet_state().hd || wallet_state().generation != generation) return failure;
    auto& s = wallet_state();
    if (scanned_to >= 0) s.scan_mark = static_cast<std::uint32_t>(scanned_to + 1);
    if (highest_used > static_cast<std::int64_t>(last) && static_cast<std::int64_t>(s.recv[1]) < highest_used) {
        s.recv[1] = static_cast<std::uint32_t>(highest_used);
        save_wallet();
    }
    return failure;
}

}  // namespace wallet
