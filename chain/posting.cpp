#include "chain/posting.h"

#include <unistd.h>

#include "chain/broadcast.h"
#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/selection.h"
#include "chain/spendable.h"
#include "core/hex.h"
#include "core/json.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/state.h"

namespace chain {

namespace {

constexpr std::int64_t AGE_MS = 30000;

bool mentions_missing_inputs(const std::string& text) {
    return text.find("Missing inputs") != std::string::npos || text.find("missing inputs") != std::string::npos ||
           text.find("missingorspent") != std::string::npos;
}

void mark_inputs_spent(const std::vector<TxInput>& inputs) {
    for (const auto& in : inputs) mark_spent(in.txid, in.vout);
    drop_spent_from_listings();
}

void adjust_balance(std::int64_t spent) {
    // The windowed program has no terminal on its standard output; the command-line
    // tools read the balance afresh instead.
    if (!::isatty(STDOUT_FILENO)) balance_after_payment(spent);
}

// The last built transaction, for a success that a later check finds on the chain.
struct Built {
    std::string txid;
    std::vector<TxInput> inputs;
    std::vector<TxOutput> outputs;
    std::int64_t spent = 0;
};

std::string known_success(const Built& b) {
    coin_state().last_success_txid = b.txid;
    if (!b.inputs.empty())
        register_broadcast(b.inputs, b.outputs, b.txid);
    else
        register_outputs_from_chain(b.txid);
    adjust_balance(b.spent);
    return "success: " + b.txid;
}

}  // namespace

std::vector<std::string> offer_held_coins(const std::string& record) {
    std::vector<std::string> ids;
    core::Json j;
    if (!core::parse_json(record, j)) return ids;
    std::string offer = core::json_string(j, "offer");
    std::string digits;
    for (char c : offer)
        if (core::is_hex(std::string(2, c))) digits.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (digits.size() < 80 || digits.size() % 2 != 0) return ids;
    std::vector<TxInput> inputs;
    std::vector<TxOutput> outputs;
    if (!parse_tx(core::from_hex(digits), inputs, outputs)) return ids;
    for (const auto& in : inputs)
        if (core::is_txid(in.txid)) ids.push_back(core::lower_ascii(in.txid) + "_" + std::to_string(in.vout));
    return ids;
}

bool record_outputs(const std::string& record, const std::string& watch, const std::string& fee_address,
                    std::int64_t fee, std::vector<TxOutput>& outputs, std::string& error) {
    outputs.clear();
    core::Bytes watch_hash, fee_hash;
    if (!wallet::hash160_from_address(watch, watch_hash)) {
        error = "error: gallery watch address decode failed.";
        return false;
    }
    if (fee >= 1 && (fee_address.empty() || !wallet::hash160_from_address(fee_address, fee_hash))) {
        error = "error: gallery fee address decode failed.";
        return false;
    }
    if (fee > MAX_SATS) {
        error = "error: gallery fee address decode failed.";
        return false;
    }
    if (fee >= 1) outputs.push_back({fee, wallet::p2pkh_script(fee_hash)});
    if (fee < 1 || fee_address != watch) outputs.push_back({1, wallet::p2pkh_script(watch_hash)});
    outputs.push_back({0, data_script(core::to_bytes(record))});
    return true;
}

std::string post_gallery_record(const std::string& record, const std::string& watch, const std::string& fee_address,
                                std::int64_t fee) {
    if (!wallet::wallet_ready_hd())
        return "error: Wendrel wallet not connected. Create or Restore in Wendrel, then Connect in the app.";
    if (record.empty()) return "error: empty gallery payload.";
    if (watch.empty()) return "error: gallery watch is not assigned.";
    wallet::WalletLock lock(wallet::wallet_mutex());
    std::vector<TxOutput> outputs;
    std::string error;
    if (!record_outputs(record, watch, fee_address, fee, outputs, error)) return error;
    return pay_outputs(std::move(outputs), offer_held_coins(record));
}

std::string pay_outputs(std::vector<TxOutput> outputs, const std::vector<std::string>& held) {
    std::int64_t total = 0;
    for (const auto& o : outputs)
        if (!add_sats(total, o.value)) return "error: invalid inscription output.";
    if (!wallet::load_wallet()) return "error: no Orvane Wendrel wallet. Use wendrel create first.";
    if (!wallet::wallet_state().hd) return "error: need an HD Wendrel wallet.";
    core::Bytes change;
    std::string error;
    if (!change_hash(change, error)) return "error: " + error;

    Built last;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!prepare_payment_coins(error)) return "error: " + error;
        std::vector<TxInput> candidates;
        gather_spendable(candidates, held, false);
        bool earlier_known = !last.txid.empty() && tx_known(last.txid);
        if (candidates.empty()) {
            if (earlier_known) return known_success(last);
            if (attempt == 0) {
                age_listings(AGE_MS);  // the next refresh fetches every address again
                continue;
            }
            if (attempt == 1) {
                refresh_from_ordinals_index();
                continue;
            }
            if (!held.empty()) return "error: need a bit more BSV so the offer and the 1-sat hook do not share coins.";
            if (wallet::wallet_state().cached_balance < 1) {
                const std::string& coin_error = coin_state().last_coin_error;
                return "error: you have 0 in your Wendrel wallet." +
                       (coin_error.empty() ? std::string() : " (" + coin_error + ")");
            }
            return "error: Wendrel can see the balance, but not a coin it can spend yet. Try again in a few seconds.";
        }
        std::vector<TxOutput> outs = outputs;
        std::int64_t fee = 0;
        std::string sel_error;
        if (!select_and_balance(candidates, 0, outs, change, fee, sel_error)) {
            if (earlier_known) return known_success(last);
            if (attempt < 2) continue;
            if (!held.empty() && sel_error.find("insufficient") != std::string::npos)
                return "error: need a bit more BSV so the offer and the 1-sat hook do not share coins. (" + sel_error + ")";
            return "error: " + sel_error;
        }
        const auto& w = wallet::wallet_state();
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const auto& in = candidates[i];
            bool own = !in.private_key.empty();
            std::string priv = own ? in.private_key : w.priv.str();
            std::string pub = in.public_key.empty() ? w.pub : in.public_key;
            core::Bytes hash = own ? in.key_hash : change;
            bool ok = sign_input(i, candidates, outs, priv, pub, hash);
            core::cleanse(priv);
            if (!ok) return "error: signing failed.";
        }
        std::string txid;
        std::string result = broadcast_tx(candidates, outs, change, &txid);
        std::int64_t spent = total;
        add_sats(spent, fee);
        if (core::is_txid(txid)) last = Built{txid, candidates, outs, spent};
        if (result.rfind("success", 0) == 0) {
            adjust_balance(spent);
            return result;
        }
        if (core::is_txid(txid) && tx_known(txid)) return known_success(last);
        if (is_already_spent_error(result)) {
            mark_inputs_spent(candidates);
            age_listings(AGE_MS);
            continue;
        }
        if (mentions_missing_inputs(result)) {
            mark_inputs_spent(candidates);
            refresh_from_ordinals_index();
            continue;
        }
        return result;
    }
    if (!last.txid.empty() && tx_known(last.txid)) return known_success(last);
    return "error: broadcast failed after retry.";
}

}  // namespace chain
