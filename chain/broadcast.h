#pragma once
// Sending a signed transaction: the platform's submit, then WhatsOnChain, then ARC, and
// a success only once a service confirmed the transaction is on the network.
#include <cstdint>
#include <string>
#include <vector>

#include "chain/tx.h"

namespace chain {

// How a broadcast ended, beside the text the user reads.
enum class BroadcastStatus {
    Sent,           // a service took it and it was confirmed: "success: " + txid
    InputSpent,     // an input is already spent by another, unconfirmed transaction
    MissingInputs,  // a service does not know an input, or it is spent in a block
    NotTaken,       // no service confirmed the transaction
    Failed,         // anything else (it did not serialize, every service refused)
};

struct BroadcastResult {
    BroadcastStatus status = BroadcastStatus::Failed;
    std::string text;  // "success: " + txid, or one of the error sentences
    std::string txid;  // computed from the raw transaction; empty when it did not serialize
};

// Caller holds the wallet-state lock (success records the broadcast in the journals).
BroadcastResult broadcast_tx(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                             const core::Bytes& change_hash);
bool arc_broadcast(const std::string& raw_hex, const std::string& expected_txid, std::string& error);
// The readers of the three services' broadcast replies, apart from the requests.
// ARC's reply body: true when it took the transaction (its txid, else expected_txid,
// being 64 hex); false with the status and extra information as the error.
bool read_arc_reply(const std::string& body, const std::string& expected_txid, std::string& error);
// The txid WhatsOnChain answered a raw-transaction post with (bare, quoted or JSON); ""
// when the reply names none.
std::string read_woc_post_reply(const std::string& body);
// The platform's submit reply: taken only when it is JSON with "ok" true.
bool read_submit_reply(const std::string& body);
bool arc_conflict(const std::string& txid);
bool tx_known(const std::string& txid);
bool tx_known_quick(const std::string& txid);
// True when WhatsOnChain names a transaction that spends the output (in a block or in
// the mempool); false when it says unspent or cannot be asked.
bool output_spent(const std::string& txid, std::uint32_t vout);
// Records the success (last successful txid, journals) and gives "success: " + txid,
// or "" when no 64-hex txid is at hand.
std::string finish_success(const std::string& txid, const std::string& computed_txid,
                           const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs);
// Fire and forget; nothing is reported, not even a thread that could not start.
void submit_to_platform_async(const std::string& raw_hex);

}  // namespace chain
