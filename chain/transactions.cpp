#include "chain/transactions.h"

#include "chain/tx_cache.h"
#include "chain/woc.h"
#include "core/hex.h"

namespace chain {

TxRead read_transaction(const std::string& txid, long timeout_s, std::size_t max_bytes, ChainTx& out) {
    if (!core::is_txid(txid)) return TxRead::missed;
    if (tx_cache_get(txid, out)) return out.raw.size() > max_bytes ? TxRead::too_large : TxRead::found;
    RawAnswer a = woc_raw_transaction_gathered(txid, timeout_s);
    if (a.state == RawState::too_large) {
        // Some transaction of the batch passed the bulk cap: this one alone, to its own.
        const std::size_t cap = max_bytes * 2 + 4096;
        std::vector<RawAnswer> alone = woc_raw_transactions({txid}, timeout_s, cap);
        a = alone.empty() ? RawAnswer{} : std::move(alone[0]);
    }
    switch (a.state) {
    case RawState::found: break;
    case RawState::too_large: return TxRead::too_large;
    case RawState::unknown:
    case RawState::failed: return TxRead::missed;
    }
    if (a.tx.raw.size() > max_bytes) return TxRead::too_large;
    tx_cache_put(a.tx);
    out = std::move(a.tx);
    return TxRead::found;
}

}  // namespace chain
