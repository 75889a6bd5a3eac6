#include "ledger/records.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "chain/posting.h"
#include "core/clock.h"
#include "core/crypto.h"
#include "core/hex.h"
#include "core/profile.h"
#include "core/text.h"
#include "ledger/identity_checks.h"
#include "wallet/derive.h"
#include "wallet/identity.h"
#include "wallet/paymail.h"
#include "wallet/state.h"

namespace ledger {

namespace {

constexpr std::uint8_t OP_FALSE = 0x00;
constexpr std::uint8_t OP_RETURN = 0x6a;
constexpr std::uint8_t OP_PUSHDATA1 = 0x4c;
constexpr std::uint8_t OP_PUSHDATA2 = 0x4d;

std::string text_member(const core::Json& r, const char* key) { return core::json_string(r, key); }

// The first spelling that holds a non-empty text ("pubkey" before "publicKey").
std::string first_text(const core::Json& r, const char* key, const char* alt) {
    std::string v = text_member(r, key);
    return v.empty() ? text_member(r, alt) : v;
}

// "ts" as the message reads it: an integer, a number cut to an integer, or a text of
// decimal digits; 0 when absent or unreadable.
std::int64_t record_ts(const core::Json& r) {
    if (!r.is_object()) return 0;
    auto it = r.find("ts");
    if (it == r.end()) return 0;
    const core::Json& v = *it;
    if (v.is_number_integer()) return core::json_int(r, "ts");
    if (v.is_number_float()) {
        double d = v.get<double>();
        if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) return 0;
        return static_cast<std::int64_t>(d);
    }
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return 0;
        std::int64_t n = 0;
        auto res = std::from_chars(s.data(), s.data() + s.size(), n);
        return res.ec == std::errc() ? n : 0;
    }
    return 0;
}

// A fractional "ts" signs as its integer part; a reader refuses it rather than guess
// which of the two the writer meant.
bool ts_is_whole(const core::Json& r) {
    auto it = r.find("ts");
    if (it == r.end() || !it->is_number_float()) return true;
    const double d = it->get<double>();
    return std::isfinite(d) && std::floor(d) == d;
}

std::string ts_text(const core::Json& r) {
    std::int64_t ts = record_ts(r);
    return ts < 0 ? "-" : std::to_string(ts);
}

std::string place_of(const core::Json& r) {
    std::string place = core::trim(text_member(r, "channel"));
    if (place.empty()) place = core::trim(text_member(r, "location"));
    return core::lower_ascii(place);
}

enum class Kind { lower, keep_case, integer, literal };

struct Field {
    const char* key;  // the literal text itself for Kind::literal
    Kind kind;
};

// Payload fields of each record type, in message order; "ts" closes every payload.
const std::vector<Field>* payload_fields(const std::string& type) {
    using K = Kind;
    static const std::vector<std::pair<const char*, std::vector<Field>>> table = {
        {"art_gentry", {{"visit", K::literal}}},
        {"art_show", {{"spot", K::lower}, {"pic", K::lower}, {"cert", K::lower}, {"sha256", K::lower},
                      {"price", K::keep_case}, {"exp", K::integer}, {"pic_utxo", K::lower}, {"cert_utxo", K::lower},
                      {"pay_addr", K::keep_case}}},
        {"art_hide", {{"spot", K::lower}, {"pic", K::lower}, {"cert", K::lower}}},
        {"art_gclear", {{"spot", K::lower}, {"pic", K::lower}}},
        {"art_gask", {{"spot", K::lower}, {"pic", K::lower}, {"cert", K::lower}, {"price_sats", K::integer},
                      {"buyer_ord", K::keep_case}, {"buyer", K::lower}}},
        {"art_gaccept", {{"spot", K::lower}, {"pic", K::lower}, {"cert", K::lower}, {"buyer", K::lower},
                         {"prev", K::lower}, {"price_sats", K::integer}, {"title_sha", K::lower}}},
        {"art_gfunded", {{"spot", K::lower}, {"offer_sha", K::lower}}},
        {"art_owner", {{"pic", K::lower}, {"cert", K::lower}, {"owner", K::lower}, {"prev", K::lower}}},
        {"art_pair", {{"pic", K::lower}, {"cert", K::lower}, {"sha256", K::lower}, {"owner", K::lower}}},
    };
    for (const auto& [name, fields] : table)
        if (type == name) return &fields;
    return nullptr;
}

std::string field_text(const core::Json& r, const Field& f) {
    switch (f.kind) {
    case Kind::literal: return f.key;
    case Kind::integer: return std::to_string(signed_int(r, f.key));
    case Kind::keep_case: return text_member(r, f.key);
    case Kind::lower: return core::lower_ascii(text_member(r, f.key));
    }
    return "";
}

std::string pki_error() {
    return "identity signature did not verify against " + core::profile().platform_domain + " PKI";
}

RecordCheck check_unguarded(const core::Json& r, std::string& signer) {
    signer.clear();
    if (!r.is_object() || text_member(r, "protocol") != RECORD_PROTOCOL) return RecordCheck::invalid;
    if (core::lower_ascii(core::trim(text_member(r, "location"))) == "app") return RecordCheck::invalid;
    if (core::trim(text_member(r, "type")).empty() || normalise_handle(text_member(r, "handle")).empty() ||
        normalise_handle(text_member(r, "actor")).empty() || place_of(r).empty())
        return RecordCheck::invalid;
    const std::string pubkey = first_text(r, "pubkey", "publicKey");
    const std::string sig = first_text(r, "sig", "signature");
    if (pubkey.empty() || sig.empty() || record_ts(r) <= 0 || !ts_is_whole(r)) return RecordCheck::invalid;
    const std::string key = normalise_key(pubkey);
    if (key.empty() || !wallet::verify_message(record_message(r), pubkey, sig)) return RecordCheck::invalid;
    // Last, because it may go to the network: the key must be the actor's own.
    std::string registered;
    switch (lookup_identity_key(text_member(r, "actor"), registered)) {
    case KeyLookup::unreachable: return RecordCheck::unverified;
    case KeyLookup::unregistered: return RecordCheck::invalid;
    case KeyLookup::found: break;
    }
    if (registered != key) return RecordCheck::invalid;
    signer = key;
    return RecordCheck::valid;
}

bool sign_unguarded(core::Json& record, std::string& error) {
    if (!record.is_null() && !record.is_object()) {
        error.clear();
        return false;
    }
    core::Json r = record.is_null() ? core::Json::object() : record;
    {
        // The lock covers the wallet reads and the signing, not the check below, which
        // may wait on the identity service.
        wallet::WalletLock lock(wallet::wallet_mutex());
        const std::string handle = wallet::current_alias();
        if (handle.empty()) {
            error = "Connect Wendrel";
            return false;
        }
        if (text_member(r, "handle").empty()) r["handle"] = handle;
        r["actor"] = handle;
        const std::string& domain = core::profile().paymail_domain;
        if (!domain.empty())
            r["paymail"] = handle + "@" + domain;
        else
            r.erase("paymail");
        if (!r.contains("ts") || !r["ts"].is_number()) r["ts"] = core::now_seconds();
        std::string pub, sig;
        if (!wallet::identity_sign(record_message(r), pub, sig, error)) return false;
        // Only one spelling of each is written, so readers cannot pick a stale one.
        r.erase("publicKey");
        r.erase("signature");
        r["pubkey"] = pub;
        r["sig"] = sig;
    }
    if (!verify_record(r)) {
        error = pki_error();
        return false;
    }
    record = std::move(r);
    error.clear();
    return true;
}

}  // namespace

FrameRow frame_row(int number) {
    if (number < 1 || number > FRAME_COUNT) number = 1;
    FrameRow row;
    row.number = number;
    row.spot = "as" + std::to_string(number);
    row.watch_address = core::profile().frames[static_cast<std::size_t>(number - 1)];
    return row;
}

std::array<FrameRow, FRAME_COUNT> frame_table() {
    std::array<FrameRow, FRAME_COUNT> table;
    for (int n = 1; n <= FRAME_COUNT; ++n) table[static_cast<std::size_t>(n - 1)] = frame_row(n);
    return table;
}

int frame_of_spot(std::string_view spot) {
    const std::string s = core::lower_ascii(core::trim(spot));
    for (int n = 1; n <= FRAME_COUNT; ++n)
        if (s == "as" + std::to_string(n)) return n;
    return 0;
}

std::string record_message(const core::Json& record) {
    try {
        const std::string type = core::trim(text_member(record, "type"));
        const std::string ts = ts_text(record);
        std::string m = "OV1|" + type + "|" + place_of(record) + "|" + normalise_handle(text_member(record, "handle")) +
                        "|" + normalise_handle(text_member(record, "actor")) + "|" + ts + "|";
        // A type outside the gallery's set signs an empty payload; readers act on none of them.
        if (const auto* fields = payload_fields(type)) {
            for (const Field& f : *fields) m += field_text(record, f) + "|";
            m += ts;
        }
        return m;
    } catch (...) {
        return "";
    }
}

bool sign_record(core::Json& record, std::string& error) {
    try {
        return sign_unguarded(record, error);
    } catch (...) {
        error.clear();
        return false;
    }
}

bool verify_record(const core::Json& record) {
    std::string signer;
    return check_record(record, signer) == RecordCheck::valid;
}

RecordCheck check_record(const core::Json& record, std::string& signer_out) {
    try {
        return check_unguarded(record, signer_out);
    } catch (...) {
        signer_out.clear();
        return RecordCheck::invalid;
    }
}

std::int64_t signed_int(const core::Json& record, std::string_view key) {
    try {
        return key == "ts" ? record_ts(record) : core::json_int(record, key);
    } catch (...) {
        return 0;
    }
}

std::string post_record(core::Json& record, const std::string& watch_address, const std::string& fee_address,
                        std::int64_t fee_sats) {
    std::string error;
    if (!sign_record(record, error)) return error.empty() ? "error: could not sign" : "error: " + error;
    return chain::post_gallery_record(record_text(record), watch_address, fee_address, fee_sats);
}

std::string sha256_hex(const std::string& text) { return core::to_hex(core::sha256(text)); }

std::string record_text(const core::Json& record) { return core::dump_compact(record); }

bool extract_record(const core::Json& tx, core::Json& record_out) {
    record_out = nullptr;
    try {
        if (!tx.is_object()) return false;
        auto vout = tx.find("vout");
        if (vout == tx.end() || !vout->is_array()) return false;
        for (const core::Json& out : *vout) {
            if (!out.is_object()) continue;
            auto spk = out.find("scriptPubKey");
            if (spk == out.end() || !spk->is_object()) continue;
            core::Bytes payload;
            if (!data_payload(core::json_string(*spk, "hex"), payload)) continue;
            core::Json parsed;
            if (!core::parse_json(core::to_string(payload), parsed)) continue;
            if (text_member(parsed, "protocol") != RECORD_PROTOCOL) continue;
            record_out = std::move(parsed);
            return true;
        }
    } catch (...) {
        record_out = nullptr;
    }
    return false;
}

bool data_payload(std::string_view script_hex, core::Bytes& bytes_out) {
    bytes_out.clear();
    core::Bytes s;
    if (script_hex.size() < 4 || !core::from_hex(script_hex, s)) return false;
    std::size_t i = 0;
    if (s[i] == OP_FALSE) ++i;
    if (i >= s.size() || s[i++] != OP_RETURN) return false;
    if (i >= s.size()) return false;
    const std::uint8_t op = s[i++];
    std::size_t len = 0;
    if (op >= 0x01 && op <= 0x4b) {
        len = op;
    } else if (op == OP_PUSHDATA1) {
        if (i + 1 > s.size()) return false;
        len = s[i];
        i += 1;
    } else if (op == OP_PUSHDATA2) {
        if (i + 2 > s.size()) return false;
        len = static_cast<std::size_t>(s[i]) | (static_cast<std::size_t>(s[i + 1]) << 8);
        i += 2;
    } else {
        // OP_PUSHDATA4 included: a record that long is not ours to read.
        return false;
    }
    if (len == 0 || len > s.size() - i) return false;
    bytes_out.assign(s.begin() + static_cast<std::ptrdiff_t>(i), s.begin() + static_cast<std::ptrdiff_t>(i + len));
    return true;
}

}  // namespace ledger
