#include "chain/posting.h"

#include <unistd.h>

#include <algorithm>

#include "chain/broadcast.h"
#include "chain/coin_state.h"
#include "chain/coins.h"
#include "chain/selection.h"
#include "chain/spendable.h"
#include "core/hex.h"
#include "core/pool.h"
#include "core/json.h"
#include "wallet/document.h"
#include "wallet/keys.h"
#include "wallet/state.h"

namespace chain {

namespace {

constexpr std::int64_t AGE_MS = 30000;

// After a refused broadcast: the inputs WhatsOnChain reports spent are marked spent, or
// every input when it names none (the refusal still says one of them is gone). The lock
// is let go while WhatsOnChain is asked; false ("wallet changed.") when another wallet
// is loaded by then.
bool set_aside_spent_inputs(const std::vector<TxInput>& inputs, std::string& error) {
    std::vector<char> spent(inputs.size(), 0);
    WalletMark mark = wallet_mark();
    {
        wallet::WalletUnlocked unlocked;
        std::string pool_error;
        core::run_bounded(inputs.size(), 8, [&](std::size_t i) {
            spent[i] = output_spent(inputs[i].txid, inputs[i].vout) ? 1 : 0;
        }, pool_error);  // without threads nobody was asked: every input is set aside below
    }
    if (!same_wallet(mark)) {
        error = WALLET_CHANGED;
        return false;
    }
    bool named = std::find(spent.begin(), spent.end(), 1) != spent.end();
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (!named || spent[i]) mark_spent(inputs[i].txid, inputs[i].vout);
    drop_spent_from_listings();
    return true;
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
    std::string ignored;  // a wallet change here only loses the journal entry, not the payment
    if (!b.inputs.empty())
        register_broadcast(b.inputs, b.outputs, b.txid);
    else
        register_outputs_from_chain(b.txid, ignored);
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
    if (record.size() > MAX_RECORD_BYTES) return "error: record too large.";
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
    sync_coin_state();
    core::Bytes change;
    std::string error;
    if (!change_hash(change, error)) return "error: " + error;
    // Every step below may let go of the lock for the network; the keys and the change
    // address taken here must still be the loaded wallet's afterwards.
    const WalletMark mark = wallet_mark();
    auto changed = [&mark] { return !same_wallet(mark); };

    Built last;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!prepare_payment_coins(error)) return "error: " + error;
        std::vector<TxInput> candidates;
        gather_spendable(candidates, held, false, error);
        if (!error.empty()) return "error: " + error;
        if (changed()) return std::string("error: ") + WALLET_CHANGED;
        bool earlier_known = !last.txid.empty() && tx_known(last.txid);
        if (candidates.empty()) {
            if (earlier_known) return known_success(last);
            if (attempt == 0) {
                age_listings(AGE_MS);  // the next refresh fetches every address again
                continue;
            }
            if (attempt == 1) {
                if (!refresh_from_ordinals_index(error) && error == WALLET_CHANGED) return "error: " + error;
                continue;
            }
            if (!held.empty()) return "error: need a bit more BSV so the offer and the 1-sat hook do not share coins.";
            std::string unreachable;
            if (coins_unreachable(unreachable)) return "error: " + unreachable + ".";
            if (wallet::wallet_state().cached_balance < 1) return "error: you have 0 in your Wendrel wallet.";
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
        BroadcastResult sent = broadcast_tx(candidates, outs, change);
        std::int64_t spent = total;
        add_sats(spent, fee);
        if (core::is_txid(sent.txid)) last = Built{sent.txid, candidates, outs, spent};
        if (sent.status == BroadcastStatus::Sent) {
            adjust_balance(spent);
            return sent.text;
        }
        if (core::is_txid(sent.txid) && tx_known(sent.txid)) return known_success(last);
        if (sent.status == BroadcastStatus::InputSpent) {
            if (!set_aside_spent_inputs(candidates, error)) return "error: " + error;
            age_listings(AGE_MS);
            continue;
        }
        if (sent.status == BroadcastStatus::MissingInputs) {
            if (!set_aside_spent_inputs(candidates, error)) return "error: " + error;
            if (!refresh_from_ordinals_index(error) && error == WALLET_CHANGED) return "error: " + error;
            continue;
        }
        return sent.text;
    }
    if (!last.txid.empty() && tx_known(last.txid)) return known_success(last);
    return "error: broadcast failed after retry.";
}

}  // namespace chain
