#include "ledger/offers.h"

#include <atomic>
#include <cctype>
#include <vector>

#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/reservations.h"
#include "chain/transactions.h"
#include "chain/tx.h"
#include "chain/woc.h"
#include "core/hex.h"
#include "core/json.h"
#include "core/text.h"
#include "ledger/flight_cache.h"
#include "ledger/request_gate.h"
#include "ledger/walls.h"

namespace ledger {

namespace {

constexpr long SPENT_TIMEOUT_S = 8;
constexpr long LOOKUP_TIMEOUT_S = 12;
// Coins of a sale are ordinary transactions; an inscription's stays within this.
constexpr std::size_t MAX_LOOKUP_TX_BYTES = 12u * 1024u * 1024u;
constexpr const char* NOT_YET = "could not load that outpoint from the chain yet. Wait a few seconds.";

FlightCache<std::string>& spender_cache() {
    static FlightCache<std::string> c;
    return c;
}

std::string offer_hex_digits(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) out.push_back(static_cast<char>(std::tolower(c)));
    return out;
}

}  // namespace

bool split_outpoint(const std::string& outpoint, std::string& txid, std::uint32_t& vout) {
    const std::string id = chain::normalise_coin_id(outpoint);
    if (!chain::is_outpoint(id)) return false;
    txid = id.substr(0, 64);
    vout = static_cast<std::uint32_t>(std::stoul(id.substr(65)));
    return true;
}

std::string coin_spent_by(const std::string& outpoint) {
    std::string txid;
    std::uint32_t vout = 0;
    if (!split_outpoint(outpoint, txid, vout)) return "";
    const std::string key = txid + "_" + std::to_string(vout);
    std::string spender;
    const bool ok = spender_cache().get(
        key,
        [&](std::string& out) {
            std::string by;
            chain::SpentAnswer answer;
            {
                RequestSlot slot;
                answer = chain::woc_spent(txid, vout, SPENT_TIMEOUT_S, &by);
            }
            if (answer == chain::SpentAnswer::failed) return false;
            out = (answer == chain::SpentAnswer::spent && by != txid) ? by : "";
            return true;
        },
        [](const std::string& by) { return by.empty() ? HISTORY_FRESH_MS : INT64_MAX / 2; }, spender);
    return ok ? spender : "";
}

int offer_status(const std::string& offer_hex) {
    try {
        const std::string hex = offer_hex_digits(offer_hex);
        if (hex.size() < 80 || hex.size() % 2 != 0) return 0;
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
        if (!chain::parse_tx(core::from_hex(hex), inputs, outputs)) return 0;
        std::atomic<bool> signed_spent{false}, unsigned_spent{false};
        run_jobs(inputs.size(), HISTORY_FETCH_WIDTH, [&](std::size_t i) {
            const auto& in = inputs[i];
            if (coin_spent_by(chain::coin_id(in.txid, in.vout)).empty()) return;
            (in.unlocking_script.empty() ? unsigned_spent : signed_spent) = true;
        });
        if (unsigned_spent) return 3;
        return signed_spent ? 2 : 1;
    } catch (...) {
        return 0;
    }
}

bool coin_lookup(const std::string& outpoint, std::int64_t& sats_out, core::Bytes& script_out, std::string& error) {
    sats_out = 0;
    script_out.clear();
    try {
        std::string txid;
        std::uint32_t vout = 0;
        if (!split_outpoint(outpoint, txid, vout)) {
            error = "bad outpoint.";
            return false;
        }
        // Raw bytes, never transaction JSON: the service cuts long scripts there.
        chain::ChainTx tx;
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
        if (chain::read_transaction(txid, LOOKUP_TIMEOUT_S, MAX_LOOKUP_TX_BYTES, tx) == chain::TxRead::found &&
            chain::parse_tx(tx.raw, inputs, outputs) && vout < outputs.size()) {
            sats_out = outputs[vout].value;
            script_out = outputs[vout].script;
            error.clear();
            return true;
        }
        error = NOT_YET;
        return false;
    } catch (...) {
        error = NOT_YET;
        return false;
    }
}

void reset_offer_caches() { spender_cache().clear(); }

}  // namespace ledger
