#pragma once
// Sending a signed transaction: the platform's submit, then WhatsOnChain, then ARC, and
// a success only once a service confirmed the transaction is on the network.
#include <string>
#include <vector>

#include "chain/tx.h"

namespace chain {

enum class Presence { Known, NotFound, Unknown };

// "success: " + txid, or one of the error sentences (most say "Nothing was sent.").
// Caller holds the wallet-state lock (success records the broadcast in the journals).
std::string broadcast_tx(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                         const core::Bytes& change_hash, std::string* txid_out);
bool arc_broadcast(const std::string& raw_hex, const std::string& expected_txid, std::string& error);
bool arc_conflict(const std::string& txid);
Presence tx_presence(const std::string& txid);
bool tx_known(const std::string& txid);
bool tx_known_quick(const std::string& txid);
// Records the success (last successful txid, journals) and gives "success: " + txid,
// or "" when no 64-hex txid is at hand.
std::string finish_success(const std::string& txid, const std::string& computed_txid,
                           const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs);
void submit_to_platform_async(const std::string& raw_hex);
bool is_already_spent_error(const std::string& text);

}  // namespace chain
