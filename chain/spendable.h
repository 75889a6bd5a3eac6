#pragma once
// Turning what is known about the wallet's coins into spend candidates, recording a
// broadcast, the change address and the wallet's balance. Callers hold the
// wallet-state lock.
#include <cstdint>
#include <string>
#include <vector>

#include "chain/coin_state.h"
#include "chain/tx.h"

namespace chain {

// The 1-sat rule: a coin that may carry an inscription is never spent as a fee.
// address may be empty when the coin's address is not known.
bool is_held_back(const std::string& address, const Coin& coin);

// Ordered candidates (confirmed first, then largest first); false when there are none.
// held_ids are coin ids ("txid_vout") the caller keeps out (a pending offer's inputs).
// error stays empty when there is simply nothing to spend; it is set when no coin may
// be chosen at all (a reservation file cannot be read) or the wallet changed while the
// chain was asked.
bool gather_spendable(std::vector<TxInput>& out, const std::vector<std::string>& held_ids, bool allow_trade_holds,
                      std::string& error);

bool change_hash(core::Bytes& hash160, std::string& error);
bool is_house_oracle_address(const std::string& address);

void register_broadcast(const std::vector<TxInput>& inputs, const std::vector<TxOutput>& outputs,
                        const std::string& txid);
// Reads a transaction's outputs from WhatsOnChain and adds those paying the wallet to
// the change journal; true when anything was added. The wallet-state lock is let go
// while WhatsOnChain is asked; when another wallet is loaded by then nothing is added
// and error is "wallet changed.".
bool register_outputs_from_chain(const std::string& txid, std::string& error);

std::int64_t wallet_balance();
void balance_after_payment(std::int64_t spent);

// Balance file "/tx_hist/<word>_face.json".
void write_balance_file(std::int64_t sats, const std::string& address);
std::int64_t read_balance_file(const std::string& address);

}  // namespace chain
