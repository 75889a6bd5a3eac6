#include "ledger/offers.h"

#include <atomic>
#include <cctype>
#include <cmath>
#include <vector>

#include "chain/endpoints.h"
#include "chain/http.h"
#include "chain/reservations.h"
#include "chain/tx.h"
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

// The output's value in BSV as sats; false for a value that is not a number in range.
bool bsv_to_sats(const core::Json& value, std::int64_t& sats) {
    if (value.is_number_integer()) {
        const std::int64_t bsv = core::json_int(core::Json{{"v", value}}, "v", -1);
        if (bsv < 0 || bsv > MAX_RECORD_SATS / 100000000) return false;
        sats = bsv * 100000000;
        return true;
    }
    if (!value.is_number_float()) return false;
    const double d = value.get<double>() * 1e8;
    if (!std::isfinite(d) || d < 0 || d > static_cast<double>(MAX_RECORD_SATS)) return false;
    sats = static_cast<std::int64_t>(std::llround(d));
    return true;
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
            const std::string url = chain::woc_tx_spent_url(txid, vout);
            if (url.empty()) return false;
            chain::HttpResult reply;
            {
                RequestSlot slot;
                // WhatsOnChain answers 404 for an output nobody spent.
                reply = chain::wallet_get(url, SPENT_TIMEOUT_S, true);
            }
            if (!reply.ok) return false;
            core::Json parsed;
            if (reply.status == 404)
                parsed = core::Json::object();
            else if (!core::parse_json(reply.body, parsed))
                return false;
            const std::string by = core::lower_ascii(core::json_string(parsed, "txid"));
            out = (core::is_txid(by) && by != txid) ? by : "";
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
        core::Json tx;
        if (gated_gallery_json(chain::woc_tx_url(txid), LOOKUP_TIMEOUT_S, tx) && tx.contains("vout") && tx["vout"].is_array()) {
            for (const auto& out : tx["vout"]) {
                if (!out.is_object() || core::json_int(out, "n", -1) != static_cast<std::int64_t>(vout)) continue;
                std::int64_t sats = 0;
                core::Bytes script;
                const auto spk = out.find("scriptPubKey");
                if (out.contains("value") && bsv_to_sats(out["value"], sats) && spk != out.end() &&
                    core::from_hex(core::json_string(*spk, "hex"), script) && !script.empty()) {
                    sats_out = sats;
                    script_out = std::move(script);
                    error.clear();
                    return true;
                }
            }
        }
        chain::HttpResult raw;
        {
            RequestSlot slot;
            raw = chain::wallet_get(chain::woc_tx_hex_url(txid), LOOKUP_TIMEOUT_S);
        }
        std::vector<chain::TxInput> inputs;
        std::vector<chain::TxOutput> outputs;
        core::Bytes bytes;
        if (raw.ok && core::from_hex(core::trim(raw.body, " \t\r\n\""), bytes) && chain::parse_tx(bytes, inputs, outputs) &&
            chain::tx_id(bytes) == txid && vout < outputs.size()) {
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
