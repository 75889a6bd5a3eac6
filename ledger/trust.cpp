#include "ledger/trust.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "core/hex.h"
#include "core/profile.h"
#include "core/text.h"
#include "ledger/identity_checks.h"
#include "ledger/pairs.h"
#include "ledger/place.h"

namespace ledger {

namespace {

std::int64_t int_member(const core::Json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer()) return 0;
    return core::json_int(j, key);
}


std::string signature_of(const core::Json& r) {
    std::string sig = core::json_string(r, "sig");
    return sig.empty() ? core::json_string(r, "signature") : sig;
}

}  // namespace

std::string output_address(const core::Json& out) {
    const auto spk = out.find("scriptPubKey");
    if (spk == out.end() || !spk->is_object()) return "";
    const auto addrs = spk->find("addresses");
    if (addrs != spk->end() && addrs->is_array() && !addrs->empty() && (*addrs)[0].is_string())
        return (*addrs)[0].get<std::string>();
    if (core::has_string(*spk, "address")) return core::json_string(*spk, "address");
    return core::json_string(out, "address");
}

std::int64_t output_sats(const core::Json& out) {
    const auto it = out.find("valueSat");
    if (it != out.end() && it->is_number_integer()) {
        const std::int64_t v = core::json_int(out, "valueSat");
        return v > 0 && v <= MAX_RECORD_SATS ? v : 0;
    }
    const auto v = out.find("value");
    if (v == out.end() || !v->is_number()) return 0;
    const double sats = std::round(v->get<double>() * 1e8);
    if (!std::isfinite(sats) || sats <= 0 || sats > static_cast<double>(MAX_RECORD_SATS)) return 0;
    return static_cast<std::int64_t>(sats);
}

std::int64_t tx_height(const core::Json& tx) {
    if (!tx.is_object()) return 0;
    std::int64_t h = int_member(tx, "blockheight");
    if (h <= 0) h = int_member(tx, "height");
    return h > 0 ? h : 0;
}

std::int64_t tx_chain_time(const core::Json& tx, std::int64_t now) {
    if (tx_height(tx) <= 0) return now;
    std::int64_t t = int_member(tx, "blocktime");
    if (t <= 0) t = int_member(tx, "time");
    return t > 0 && t <= MAX_RECORD_TIME ? t : now;
}

bool tx_too_large(const core::Json& tx) { return tx.is_object() && int_member(tx, "size") > MAX_GALLERY_TX_BYTES; }

bool time_fits(std::int64_t ts, std::int64_t chain_time) {
    return ts > 0 && ts <= MAX_RECORD_TIME && ts <= chain_time + TS_AHEAD_S && ts >= chain_time - TS_BEHIND_S;
}

std::int64_t sats_paid_to(const core::Json& tx, const std::string& address) {
    if (address.empty() || !tx.is_object() || !tx.contains("vout") || !tx["vout"].is_array()) return 0;
    std::int64_t total = 0;
    for (const auto& out : tx["vout"]) {
        if (!out.is_object() || output_address(out) != address) continue;
        total = std::min(MAX_RECORD_SATS, total + output_sats(out));
    }
    return total;
}

bool chain_before(const HistoryEntry& a, const HistoryEntry& b) {
    if (const int c = era_compare(a, b); c != 0) return c < 0;
    return a.txid < b.txid;
}

int era_compare(std::int64_t height_a, std::int64_t ts_a, std::int64_t height_b, std::int64_t ts_b) {
    const std::int64_t ha = height_a > 0 ? height_a : INT64_MAX, hb = height_b > 0 ? height_b : INT64_MAX;
    if (ha != hb) return ha < hb ? -1 : 1;
    if (ts_a != ts_b) return ts_a < ts_b ? -1 : 1;
    return 0;
}

int era_compare(const HistoryEntry& a, const HistoryEntry& b) { return era_compare(a.height, a.ts, b.height, b.ts); }

std::int64_t effective_time(const HistoryEntry& e) {
    return e.chain_time > 0 ? std::min(e.ts, e.chain_time) : e.ts;
}

int show_weeks(std::int64_t ts, std::int64_t exp) {
    if (ts <= 0 || exp <= ts) return 0;
    const std::int64_t length = exp - ts;
    if (length <= WEEK_S) return 1;
    return length <= 2 * WEEK_S ? 2 : 0;
}

bool payment_sound(const core::Json& record, const core::Json& tx) {
    const std::string type = core::json_string(record, "type");
    const auto& p = core::profile();
    if (type == "art_show") {
        const int weeks = show_weeks(signed_int(record, "ts"), signed_int(record, "exp"));
        return weeks > 0 && sats_paid_to(tx, p.placement_fee_address) >= weeks * PLACE_FEE_PER_WEEK_SATS;
    }
    if (type == "art_pair") return pays_address(tx, p.oao_address) && pays_address(tx, p.ocp_address);
    if (type == "art_owner") return pays_address(tx, p.oao_address);
    return true;
}

void order_history(std::vector<HistoryEntry>& history) {
    std::sort(history.begin(), history.end(), chain_before);
    std::vector<HistoryEntry> kept;
    kept.reserve(history.size());
    std::map<std::string, std::size_t> by_signature;  // signature -> index in kept
    for (auto& e : history) {
        const std::string sig = signature_of(e.record);
        const auto it = sig.empty() ? by_signature.end() : by_signature.find(sig);
        if (it == by_signature.end()) {
            if (!sig.empty()) by_signature.emplace(sig, kept.size());
            kept.push_back(std::move(e));
            continue;
        }
        HistoryEntry& first = kept[it->second];
        // A copy that pays what its type must takes the place of a first copy that
        // does not: a replay cannot push the genuine posting aside.
        if (!payment_sound(first.record, first.transaction) && payment_sound(e.record, e.transaction)) {
            std::vector<std::string> replays = std::move(first.replays);
            replays.push_back(first.txid);
            const std::size_t at = it->second;
            kept[at] = std::move(e);
            kept[at].replays = std::move(replays);
        } else {
            first.replays.push_back(e.txid);
        }
    }
    // The kept copy of a folded record may sit later in the chain than its first copy.
    std::stable_sort(kept.begin(), kept.end(), chain_before);
    history = std::move(kept);
}

bool pair_is_root(const HistoryEntry& pair, const core::Json& certificate, const std::string& paymail_domain) {
    if (core::json_string(pair.record, "type") != "art_pair" || !certificate.is_object()) return false;
    const std::string pic = inscription_id(core::json_string(pair.record, "pic"));
    if (pic.empty() || inscription_id(core::json_string(certificate, "pic")) != pic) return false;
    const std::string sha = core::lower_ascii(core::json_string(pair.record, "sha256"));
    if (sha.size() != 64 || core::lower_ascii(core::json_string(certificate, "sha256")) != sha) return false;
    const std::string named = core::lower_ascii(core::trim(core::json_string(certificate, "owner_paymail")));
    const auto at = named.rfind('@');
    if (at == std::string::npos || paymail_domain.empty() || named.substr(at + 1) != core::lower_ascii(paymail_domain))
        return false;
    const std::string actor = normalise_handle(core::json_string(pair.record, "actor"));
    return actor_fits(actor) && normalise_handle(named.substr(0, at)) == actor;
}

}  // namespace ledger
