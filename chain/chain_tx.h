#pragma once
// A transaction as the chain holds it: its raw bytes, checked against its txid, and
// the block it is in. Readers that want outputs and inputs by name take tx_json.
#include <cstdint>
#include <string>

#include "core/bytes.h"
#include "core/json.h"

namespace chain {

struct ChainTx {
    std::string txid;           // 64 lowercase hex digits
    core::Bytes raw;            // double SHA-256 of these is the txid
    std::int64_t height = 0;    // 0 while in no block
    std::int64_t block_time = 0;

    bool confirmed() const { return height > 0; }
};

// True when raw hashes to txid (either case).
bool raw_matches_txid(const core::Bytes& raw, const std::string& txid);

// The transaction in the JSON shape every reader of transactions uses: "txid", "size",
// "vin" [{"txid", "vout"}], "vout" [{"n", "valueSat", "value" (BSV), "scriptPubKey"
// {"hex", "addresses" (a P2PKH output's address, else empty)}}], and when in a block
// "blockheight", "blocktime" and "time". Scripts are whole: the bytes are. Null when
// the bytes do not read as a transaction.
core::Json tx_json(const ChainTx& tx);

// True when a service's transaction JSON marks any output's script as cut short
// ("isTruncated"): such JSON is never read for scripts.
bool tx_json_cut(const core::Json& tx);

}  // namespace chain
