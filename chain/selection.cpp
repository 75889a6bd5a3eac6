#include "chain/selection.h"

#include <algorithm>
#include <utility>

#include "core/hex.h"
#include "wallet/keys.h"

namespace chain {

bool select_and_balance(std::vector<TxInput>& candidates, std::size_t forced_count,
                        std::vector<TxOutput>& outputs, const core::Bytes& change_hash,
                        std::int64_t& fee_out, std::string& error_out) {
    fee_out = 0;
    error_out.clear();
    if (outputs.empty()) {
        error_out = "nothing to pay.";
        return false;
    }
    std::int64_t total_out = 0;
    for (const TxOutput& out : outputs) {
        // Outputs whose sum passes the supply cap (MAX_SATS) can never be paid; they are
        // refused with the same text as a negative value or an empty script.
        if (out.value < 0 || out.script.empty() || !add_sats(total_out, out.value)) {
            error_out = "invalid inscription output.";
            return false;
        }
    }

    // The estimate-mode size depends only on the number of inputs once the outputs are
    // fixed, so it is computed rather than serialized for every coin tried: with
    // thousands of small coins that keeps selection linear.
    const std::size_t size_without_inputs = estimate_size(0, outputs) - varint_size(0);
    auto size_for = [&](std::size_t n) { return size_without_inputs + varint_size(n) + n * ESTIMATE_INPUT_SIZE; };

    std::vector<std::size_t> chosen;
    std::int64_t chosen_value = 0;
    std::size_t unconfirmed = 0;
    // Adding a coin succeeds exactly when the estimate serialization with it would not be
    // empty: the outputs are valid (checked above), so only its txid can spoil it. A value
    // outside the bound, or one that would take the sum past the cap, is not a real coin.
    auto try_add = [&](std::size_t i) {
        const TxInput& coin = candidates[i];
        std::int64_t value = chosen_value;
        if (!core::is_txid(coin.txid) || !add_sats(value, coin.value)) return false;
        chosen.push_back(i);
        chosen_value = value;
        if (coin.height == 0) ++unconfirmed;
        return true;
    };
    auto enough = [&] {
        const auto reserve = static_cast<std::int64_t>(size_for(chosen.size()) + CHANGE_OUTPUT_RESERVE);
        return chosen_value >= total_out + fee_for(reserve);
    };

    const std::size_t forced = std::min(forced_count, candidates.size());
    chosen.reserve(forced + 16);
    for (std::size_t i = 0; i < forced; ++i) {
        if (!try_add(i)) {
            error_out = "could not include inscription input.";
            return false;
        }
    }
    bool covered = enough();
    for (std::size_t i = forced; i < candidates.size() && !covered; ++i) {
        // Long chains of unconfirmed parents are refused by the network, so their number
        // per transaction is capped; confirmed coins and coins of unknown height are not.
        if (candidates[i].height == 0 && unconfirmed >= MAX_UNCONFIRMED_INPUTS) continue;
        if (try_add(i)) covered = enough();
    }

    std::vector<TxInput> inputs;
    inputs.reserve(chosen.size());
    for (std::size_t i : chosen) inputs.push_back(std::move(candidates[i]));
    candidates = std::move(inputs);

    core::Bytes raw = serialize_tx(candidates, outputs, true);
    if (raw.empty()) {
        error_out = "failed to build transaction.";
        return false;
    }
    std::int64_t fee = fee_for(static_cast<std::int64_t>(raw.size()));
    std::int64_t change = chosen_value - total_out - fee;
    if (change >= 1) {
        core::Bytes script = wallet::p2pkh_script(change_hash);
        if (script.empty()) {  // no 20-byte change hash: nowhere to send the change
            error_out = "failed to build transaction.";
            return false;
        }
        outputs.push_back(TxOutput{change, std::move(script)});
        raw = serialize_tx(candidates, outputs, true);
        if (raw.empty()) {
            error_out = "failed to build transaction.";
            return false;
        }
        fee = fee_for(static_cast<std::int64_t>(raw.size()));
        change = chosen_value - total_out - fee;
        if (change < 1) {
            // The change output would cost more than it carries. Without it the
            // transaction still covers its own fee (change was at least 1 above), and the
            // whole surplus goes to the miners, so that surplus is the fee it pays.
            outputs.pop_back();
            fee = chosen_value - total_out;
        } else {
            outputs.back().value = change;
        }
    }
    fee_out = fee;
    if (chosen_value < total_out + fee) {
        error_out = "insufficient funds. Need " + std::to_string(total_out + fee) + " sats, you have " +
                    std::to_string(chosen_value) + " in your Wendrel wallet.";
        return false;
    }
    return true;
}

}  // namespace chain
