#pragma once
// Reading a transaction's bytes the one way: the disk cache of confirmed transactions,
// else WhatsOnChain's bulk raw route (asked together with other threads' questions),
// every answer checked against its txid. Readers take tx_json of the result; no script
// is ever taken from a service's transaction JSON.
#include <cstddef>
#include <string>

#include "chain/chain_tx.h"

namespace chain {

enum class TxRead { found, missed, too_large };

// txid's bytes and block. A transaction larger than max_bytes is too_large (not read
// into memory past about twice that); a confirmed one read from the service is kept on
// disk. missed: no answer, or the service does not know it (yet).
TxRead read_transaction(const std::string& txid, long timeout_s, std::size_t max_bytes, ChainTx& out);

}  // namespace chain
