#pragma once
// Coin selection and change: adds coins until the outputs and the miner fee are covered,
// then settles the change. Sizes are always those of the estimate-mode serialization.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chain/tx.h"
#include "core/bytes.h"

namespace chain {

// At most this many unconfirmed (height 0) coins go into one transaction.
constexpr std::size_t MAX_UNCONFIRMED_INPUTS = 20;
// Room kept for a P2PKH change output (8-byte value, length byte, 25-byte script) when
// deciding whether the chosen coins are enough.
constexpr std::size_t CHANGE_OUTPUT_RESERVE = 34;

// The first forced_count candidates are always spent, in order (e.g. the artwork coins of
// a sale); the rest are taken in the order given until they cover the outputs and fee.
// On success candidates holds the chosen inputs, outputs may have gained a P2PKH change
// output to change_hash (kept down to 1 sat; below that the surplus goes to the miners),
// fee_out is the miner fee the transaction pays and error_out is empty. On failure
// error_out holds the reason, fee_out the last fee computed, and both lists are only fit
// to be discarded.
bool select_and_balance(std::vector<TxInput>& candidates, std::size_t forced_count,
                        std::vector<TxOutput>& outputs, const core::Bytes& change_hash,
                        std::int64_t& fee_out, std::string& error_out);

}  // namespace chain
